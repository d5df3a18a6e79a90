#include "WinFixture.h"

#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "support/PgTestServer.h"

#include <QDir>
#include <QFile>

bool WinFixture::Open(const QString& wanted, const QString& name)
{
    kind = wanted;
    if (IsPostgres()) {
        if (!testsupport::PgTestServer::CreateDatabase(name.toLower(), &error))
            return false;
        connectionString = testsupport::PgTestServer::ConnectionString(name.toLower());
    } else {
        const QString file = QDir::temp().filePath(name + QStringLiteral(".sqlite"));
        QFile::remove(file);
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly)) {
            error = f.errorString();
            return false;
        }
        f.close();
        connectionString = QStringLiteral("Provider=SQLite;Data Source=") + file;
    }
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
