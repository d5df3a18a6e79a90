#include "DbTablesFixture.h"

#include "ado/Catalog.h"
#include "ado/Connection.h"
#include "app/MDI.h"
#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "support/TestDatabase.h"
#include "ui/FormsRegistry.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMdiSubWindow>
#include <QTest>

void DbTablesFixture::InitAppState()
{
    MDabrix::AppTitle = QStringLiteral("Dabrix");
    if (!MDabrix::AppSettings) {
        MDabrix::AppSettings = std::make_unique<SettingsStore>();
        MDabrix::AppSettings->Open(QStringLiteral("Corvanet"), QStringLiteral("Dabrix"), false);
    }
    if (MDabrix::WorkFolder.isEmpty() || !QDir(MDabrix::WorkFolder).exists())
        MDabrix::InitWorkFolder();
}

bool DbTablesFixture::Open(const QString& wanted, const QString& name, const QStringList& statements)
{
    kind = wanted;
    InitAppState();
    MDabrix::CloseDatabase();
    testsupport::TestDatabase db;
    if (!db.Create(kind, name)) {
        error = db.error;
        return false;
    }
    connectionString = db.connectionString;
    try {
        MDabrix::Cnx = std::make_unique<ado::Connection>();
        MDabrix::Cnx->SetCommandTimeout(900);
        MDabrix::Cnx->Open(connectionString);
        for (const QString& statement : statements)
            MDabrix::Cnx->Execute(statement);
        MDabrix::Catalog = std::make_unique<ado::Catalog>();
        MDabrix::Catalog->SetActiveConnection(MDabrix::Cnx.get());
        MDabrix::CnxString = connectionString;
        MDabrix::IsJet4 = false;
        MDabrix::IsHfsql = false;
    } catch (const std::exception& e) {
        error = QString::fromLocal8Bit(e.what());
        return false;
    }
    return true;
}

void DbTablesFixture::Reset()
{
    if (MDI* main = MDI::Instance()) {
        main->close();
    }
    for (QWidget* form : ui::FormsRegistry::Forms()) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(form->parentWidget()))
            sub->close();
        else
            form->close();
    }
    // Deferred deletes of the closed windows.
    QTest::qWait(1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    MDabrix::CloseDatabase();
    MDabrix::IsHfsql = false;
}

QWidget* DbTablesFixture::LoadedForm(const QString& objectName)
{
    for (QWidget* form : ui::FormsRegistry::Forms())
        if (form->objectName() == objectName)
            return form;
    return nullptr;
}

int DbTablesFixture::LoadedCount(const QString& objectName)
{
    int count = 0;
    for (QWidget* form : ui::FormsRegistry::Forms())
        count += form->objectName() == objectName ? 1 : 0;
    return count;
}
