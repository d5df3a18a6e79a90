#include "app/MDI.h"

#include "ado/AdoError.h"
#include "app/FormPlacement.h"
#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "connections/diaCnxString.h"
#include "managers/frmLstImages.h"
#include "managers/frmLstScripts.h"
#include "ui/AppIcons.h"
#include "ui/FailureReport.h"
#include "ui/FormsRegistry.h"
#include "windows/frmDbTables.h"
#include "windows/frmSqlCommand.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <memory>
#include <optional>

namespace {

const QString kPlacementSection = QStringLiteral("Forms\\Mdi");

QPointer<MDI>& instance()
{
    static QPointer<MDI> live;
    return live;
}

// The loaded form of that name, if any: the table list and the SQL window are one per program.
QWidget* LoadedForm(const QString& name)
{
    for (QWidget* form : ui::FormsRegistry::Forms())
        if (form->objectName() == name)
            return form;
    return nullptr;
}

} // namespace

MDI::MDI(QWidget* parent) : QMainWindow(parent), m_area(new QMdiArea(this))
{
    instance() = this;
    setObjectName(QStringLiteral("MDI"));
    // Closing the main window ends the program, so it goes with its close.
    setAttribute(Qt::WA_DeleteOnClose);
    setCentralWidget(m_area);
    BuildMenu();
    ui::FormsRegistry::Register(this);
    resize(1000, 700);
    Form_Load();
}

MDI::~MDI()
{
    ui::FormsRegistry::Unregister(this);
}

MDI* MDI::Instance()
{
    return instance().data();
}

QString MDI::Caption()
{
    return QStringLiteral("Velk Dabrix %1.%2.%3").arg(DABRIX_VERSION_MAJOR).arg(DABRIX_VERSION_MINOR).arg(DABRIX_VERSION_PATCH);
}

void MDI::BuildMenu()
{
    using Icon = ui::AppIcons::Id;
    const auto add = [this](QMenu* menu, const char* name, const QString& caption, auto slot,
                            std::optional<Icon> icon = std::nullopt) {
        QAction* a = menu->addAction(caption);
        if (icon)
            a->setIcon(ui::AppIcons::Get(*icon));
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QMenu* db = menuBar()->addMenu(QStringLiteral("&Database"));
    db->setObjectName(QStringLiteral("mnu_Database"));
    add(db, "mnu_DbOuvrir", QStringLiteral("&Ouvrir"), &MDI::mnu_DbOuvrir_Click, Icon::Open);
    add(db, "mnu_DbFermer", QStringLiteral("&Fermer"), &MDI::mnu_DbFermer_Click, Icon::CloseDatabase);
    db->addSeparator()->setObjectName(QStringLiteral("mnu_DbLine1"));
    add(db, "mnu_DbQuitter", QStringLiteral("&Quitter"), &MDI::close, Icon::Quit);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&Affichage"));
    view->setObjectName(QStringLiteral("mnu_Affichage"));
    // The check mark belongs to the table list: it sets it on load and clears it on unload.
    QAction* tables = add(view, "mnu_AffDbTables", QStringLiteral("&Liste des tables"), &MDI::mnu_AffDbTables_Click);
    tables->setCheckable(true);
    connect(tables, &QAction::triggered, tables, [tables] {
        tables->setChecked(LoadedForm(QStringLiteral("frmDbTables")) != nullptr);
    });
    add(view, "mnu_AffImages", QStringLiteral("Gestion &Images"), &MDI::mnu_AffImages_Click, Icon::Images);
    add(view, "mnu_AffScripts", QStringLiteral("Gestion des s&cripts"), &MDI::mnu_AffScripts_Click, Icon::Scripts);
    add(view, "mnu_AffSqlCmd", QStringLiteral("Commande &Sql"), &MDI::mnu_AffSqlCmd_Click, Icon::SqlCommand);

    QAction* cnx = menuBar()->addAction(QStringLiteral("Co&nnection string"));
    cnx->setObjectName(QStringLiteral("mnu_ConnectionString"));
    connect(cnx, &QAction::triggered, this, &MDI::mnu_ConnectionString_Click);
}

void MDI::Form_Load()
{
    setWindowTitle(Caption());
    ui::FailureReport::Guard(this, windowTitle(), ui::Sentence::WindowLoading, [this] {
        FormPlacement::Instance().RestorePlacement(*MDabrix::AppSettings, *this, kPlacementSection);
        ShowDbTables();
    });
}

QMdiSubWindow* MDI::AddChild(QWidget* form)
{
    const QSize designed = form->size();
    QMdiSubWindow* sub = m_area->addSubWindow(form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    // Forms lay out their controls by hand and have no size hint: the frame starts at the
    // form's design size, until a saved placement says otherwise.
    sub->resize(designed.grownBy(sub->contentsMargins()));
    sub->setWindowTitle(form->windowTitle());
    connect(form, &QWidget::windowTitleChanged, sub, &QWidget::setWindowTitle);
    return sub;
}

void MDI::Host(QWidget* form)
{
    if (MDI* main = Instance())
        main->AddChild(form);
    else
        form->setAttribute(Qt::WA_DeleteOnClose);
}

void MDI::ShowChild(QWidget* form)
{
    if (auto* sub = qobject_cast<QMdiSubWindow*>(form->parentWidget())) {
        sub->show();
        m_area->setActiveSubWindow(sub);
        return;
    }
    form->show();
    form->raise();
    form->activateWindow();
}

void MDI::ShowDbTables()
{
    QWidget* form = LoadedForm(QStringLiteral("frmDbTables"));
    if (!form)
        form = new frmDbTables();
    ShowChild(form);
}

void MDI::ShowSqlCommand()
{
    QWidget* form = LoadedForm(QStringLiteral("frmSqlCommand"));
    if (!form)
        form = new frmSqlCommand();
    ShowChild(form);
}

void MDI::MenuAction(const std::function<void()>& action)
{
    ui::FailureReport::Guard(this, windowTitle(), ui::Sentence::OperatorAction, action);
}

void MDI::mnu_DbOuvrir_Click()
{
    MenuAction([this] {
        if (!MDabrix::OpenDatabase())
            return;
        CloseChildWindows();
        ShowDbTables();
    });
}

void MDI::mnu_DbFermer_Click()
{
    CloseChildWindows();
    MDabrix::CloseDatabase();
}

void MDI::mnu_AffDbTables_Click()
{
    MenuAction([this] { ShowDbTables(); });
}

void MDI::mnu_AffSqlCmd_Click()
{
    MenuAction([this] { ShowSqlCommand(); });
}

// A new manager on every command; one whose Init fails is never shown.
template <typename Manager>
void MDI::OpenManager(const QString& tableName)
{
    MenuAction([this, &tableName] {
        auto form = std::make_unique<Manager>();
        form->Init(tableName);
        Manager* shown = form.release();
        AddChild(shown);
        ShowChild(shown);
    });
}

void MDI::mnu_AffImages_Click()
{
    OpenManager<frmLstImages>(QStringLiteral("Images"));
}

void MDI::mnu_AffScripts_Click()
{
    OpenManager<frmLstScripts>(QStringLiteral("Scripts"));
}

void MDI::mnu_ConnectionString_Click()
{
    MenuAction([this] {
        auto dialog = std::make_unique<diaCnxString>(this);
        dialog->exec();
    });
}

void MDI::CloseChildWindows()
{
    for (QWidget* form : ui::FormsRegistry::Forms()) {
        if (form == this)
            continue;
        if (auto* sub = qobject_cast<QMdiSubWindow*>(form->parentWidget()))
            sub->close();
        else
            form->close();
    }
}

void MDI::closeEvent(QCloseEvent* event)
{
    CloseChildWindows();
    // A child that refused to unload keeps the program running.
    for (QWidget* form : ui::FormsRegistry::Forms()) {
        if (form != this && form->isVisible()) {
            event->ignore();
            return;
        }
    }
    try {
        FormPlacement::Instance().SavePlacement(*MDabrix::AppSettings, *this, kPlacementSection);
    } catch (...) {
    }
    try {
        MDabrix::CloseDatabase();
    } catch (...) {
    }
    try {
        MDabrix::DeleteWorkFolder();
    } catch (...) {
    }
    ui::FormsRegistry::Unregister(this);
    if (instance() == this)
        instance() = nullptr;
    event->accept();
}
