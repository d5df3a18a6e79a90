#include "WinFixture.h"

#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "support/TestDatabase.h"

#include <QDir>
#include <QFile>

bool WinFixture::Open(const QString& wanted, const QString& name)
{
    kind = wanted;
    testsupport::TestDatabase db;
    if (!db.Create(kind, name)) {
        error = db.error;
        return false;
    }
    connectionString = db.connectionString;
    MDabrix::AppTitle = QStringLiteral("Dabrix");
    if (!MDabrix::AppSettings) {
        MDabrix::AppSettings = std::make_unique<SettingsStore>();
        MDabrix::AppSettings->Open(QStringLiteral("Corvanet"), MDabrix::AppTitle, false);
    }
    MDabrix::IsJet4 = false;
    MDabrix::IsHfsql = false;
    MDabrix::Cnx = std::make_unique<ado::Connection>();
    MDabrix::Cnx->Open(connectionString);
    return true;
}

void WinFixture::Exec(const QStringList& statements) const
{
    for (const QString& sql : statements)
        MDabrix::Cnx->Execute(sql);
}

QVariant WinFixture::ReadBack(const QString& sql) const
{
    ado::Connection other;
    other.Open(connectionString);
    ado::Recordset rs;
    rs.Open(sql, &other);
    return rs.Eof() ? QVariant(QStringLiteral("<no row>")) : rs.Fields(0).Value();
}

void WinFixture::Close()
{
    MDabrix::Cnx.reset();
    MDabrix::IsJet4 = false;
    MDabrix::IsHfsql = false;
}
