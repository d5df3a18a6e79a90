#include "app/MDI.h"

#include "app/FormPlacement.h"
#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "connections/diaCnxString.h"
#include "ui/FailureReport.h"
#include "ui/FormsRegistry.h"

#include <QCloseEvent>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>

MDI::MDI(QWidget* parent) : QMainWindow(parent), m_area(new QMdiArea(this))
{
    setObjectName(QStringLiteral("MDI"));
    setCentralWidget(m_area);
    BuildMenu();
    ui::FormsRegistry::Register(this);
    setWindowTitle(Caption());
    resize(1000, 700);
    ui::FailureReport::Guard(this, windowTitle(), ui::Sentence::WindowLoading, [this] {
        FormPlacement::Instance().RestorePlacement(*MDabrix::AppSettings, *this, QStringLiteral("Forms\\Mdi"));
    });
}

QString MDI::Caption()
{
    return QStringLiteral("Velk Dabrix %1.%2.%3").arg(DABRIX_VERSION_MAJOR).arg(DABRIX_VERSION_MINOR).arg(DABRIX_VERSION_PATCH);
}

void MDI::BuildMenu()
{
    const auto add = [this](QMenu* menu, const char* name, const QString& caption, auto slot) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QMenu* db = menuBar()->addMenu(QStringLiteral("&Database"));
    db->setObjectName(QStringLiteral("mnu_Database"));
    add(db, "mnu_DbOuvrir", QStringLiteral("&Ouvrir"), &MDI::OnOuvrir);
    add(db, "mnu_DbFermer", QStringLiteral("&Fermer"), &MDI::OnFermer);
    db->addSeparator()->setObjectName(QStringLiteral("mnu_DbLine1"));
    add(db, "mnu_DbQuitter", QStringLiteral("&Quitter"), &MDI::close);
    QAction* cnx = menuBar()->addAction(QStringLiteral("Co&nnection string"));
    cnx->setObjectName(QStringLiteral("mnu_ConnectionString"));
    connect(cnx, &QAction::triggered, this, &MDI::OnConnectionString);
}

void MDI::OnOuvrir()
{
    ui::FailureReport::Guard(this, windowTitle(), ui::Sentence::OperatorAction, [this] {
        if (MDabrix::OpenDatabase())
            CloseChildWindows();
    });
}

void MDI::OnFermer()
{
    CloseChildWindows();
    MDabrix::CloseDatabase();
}

void MDI::OnConnectionString()
{
    ui::FailureReport::Guard(this, windowTitle(), ui::Sentence::OperatorAction, [this] {
        diaCnxString dialog(this);
        dialog.exec();
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

void MDI::DeleteWorkFolder()
{
    if (MDabrix::WorkFolder.isEmpty() || !QDir(MDabrix::WorkFolder).exists())
        return;
    // Read-only files and folders must go too.
    QDirIterator it(MDabrix::WorkFolder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner | QFile::ReadOwner | QFile::ExeOwner);
    }
    QDir(MDabrix::WorkFolder).removeRecursively();
}

void MDI::closeEvent(QCloseEvent* event)
{
    m_area->closeAllSubWindows();
    if (!m_area->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    try {
        FormPlacement::Instance().SavePlacement(*MDabrix::AppSettings, *this, QStringLiteral("Forms\\Mdi"));
    } catch (...) {
    }
    try {
        MDabrix::CloseDatabase();
    } catch (...) {
    }
    try {
        DeleteWorkFolder();
    } catch (...) {
    }
    ui::FormsRegistry::Unregister(this);
    event->accept();
}
