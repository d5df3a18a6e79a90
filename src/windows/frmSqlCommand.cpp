#include "windows/frmSqlCommand.h"

#include "ado/AdoError.h"
#include "ado/Connection.h"
#include "app/FormPlacement.h"
#include "app/MDI.h"
#include "app/MDabrix.h"
#include "ui/AppIcons.h"
#include "ui/BusyCursor.h"
#include "ui/FailureReport.h"
#include "ui/FormsRegistry.h"
#include "ui/FramedLayout.h"
#include "ui/Twips.h"
#include "windows/adoLib.h"

#include <QAction>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStyle>
#include <QToolBar>

namespace {

const QString kPlacementSection = QStringLiteral("Forms\\frmSqlCommand");
constexpr double kToolbarHeight = 420; // twips

bool HasShiftCtrlAlt(const QKeyEvent* event)
{
    return event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

} // namespace

frmSqlCommand::frmSqlCommand(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmSqlCommand"));
    setWindowTitle(QStringLiteral("Commande Sql"));
    BuildControls();
    resize(ui::Twips::ToPixels(6132), ui::Twips::ToPixels(3132));
    if (!parent)
        MDI::Host(this);
    Form_Load();
}

void frmSqlCommand::BuildControls()
{
    Tb = new QToolBar(this);
    Tb->setObjectName(QStringLiteral("Tb"));
    Tb->setToolButtonStyle(Qt::ToolButtonIconOnly);
    Tb->setIconSize(QSize(16, 16));
    auto* execute = new QAction(ui::AppIcons::Get(ui::AppIcons::Id::Execute), QString(), Tb);
    execute->setObjectName(QStringLiteral("Execute"));
    Tb->addAction(execute);
    connect(execute, &QAction::triggered, this, [this] { Tb_ButtonClick(QStringLiteral("Execute")); });

    Fra = new QGroupBox(QStringLiteral("Commande Sql"), this);
    Fra->setObjectName(QStringLiteral("Fra"));
    Fra->setGeometry(ui::Twips::Rect(60, 420, 6012, 2652));
    txtSql = new QPlainTextEdit(Fra);
    txtSql->setObjectName(QStringLiteral("txtSql"));
    txtSql->setGeometry(ui::Twips::Rect(120, 240, 5772, 2292));
    // Key preview: the window sees Escape before the text box, and F5 on its release.
    txtSql->installEventFilter(this);
    setFocusProxy(txtSql);
}

void frmSqlCommand::Form_Load()
{
    ui::FormsRegistry::Register(this);
    ui::FailureReport::Guard(this, windowTitle(), ui::Sentence::WindowLoading, [this] {
        FormPlacement::Instance().RestorePlacement(*MDabrix::AppSettings, *this, kPlacementSection);
    });
}

void frmSqlCommand::ExecuteCommand()
{
    if (!MDabrix::Cnx)
        throw ado::AdoError(ado::err::ObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
    const qint32 affected = adoLib::ExecuteSql(txtSql->toPlainText(), *MDabrix::Cnx, -1);
    QMessageBox box(QMessageBox::Information, windowTitle(),
                    QString::number(affected) + QStringLiteral(" enregistrements affectés."), QMessageBox::Ok, this);
    box.exec();
    MDabrix::RefreshDataWindows();
}

void frmSqlCommand::Tb_ButtonClick(const QString& key)
{
    if (key != u"Execute")
        return;
    try {
        ExecuteCommand();
    } catch (...) {
        ui::FailureReport::Show(this, windowTitle(), ui::Sentence::OperatorAction, std::current_exception());
    }
}

void frmSqlCommand::txtSql_KeyUp(QKeyEvent* event)
{
    if (event->key() != Qt::Key_F5 || event->isAutoRepeat())
        return;
    try {
        {
            ui::BusyCursor busy;
            ExecuteCommand();
        }
        event->accept();
    } catch (...) {
        ui::FailureReport::Show(this, windowTitle(), ui::Sentence::OperatorAction, std::current_exception());
    }
}

bool frmSqlCommand::Form_KeyDown(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Escape || HasShiftCtrlAlt(event))
        return false;
    try {
        // The main window's subwindow goes with the form.
        if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
            sub->close();
        else
            close();
    } catch (...) {
        ui::FailureReport::Show(this, windowTitle(), ui::Sentence::OperatorAction, std::current_exception());
    }
    return true;
}

bool frmSqlCommand::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtSql) {
        if (event->type() == QEvent::KeyPress && Form_KeyDown(static_cast<QKeyEvent*>(event)))
            return true;
        if (event->type() == QEvent::KeyRelease) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_F5) {
                txtSql_KeyUp(key);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmSqlCommand::keyPressEvent(QKeyEvent* event)
{
    if (!Form_KeyDown(event))
        QWidget::keyPressEvent(event);
}

void frmSqlCommand::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmSqlCommand::Form_Resize()
{
    ui::FramedLayout::Apply(*this, *Tb, kToolbarHeight, *Fra, *txtSql);
}

void frmSqlCommand::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    QWidget::closeEvent(event);
}

void frmSqlCommand::Form_Unload()
{
    try {
        FormPlacement::Instance().SavePlacement(*MDabrix::AppSettings, *this, kPlacementSection);
    } catch (...) {
        // A placement that cannot be saved must not keep the window open.
    }
    ui::FormsRegistry::Unregister(this);
}
