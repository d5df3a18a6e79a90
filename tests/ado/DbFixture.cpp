#include "DbFixture.h"

#include "support/PgTestServer.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>

bool DbFixture::Create(const QString& wanted, const QString& name)
{
    kind = wanted;
    if (IsPostgres()) {
        if (!testsupport::PgTestServer::CreateDatabase(name.toLower(), &error))
            return false;
        connectionString = testsupport::PgTestServer::ConnectionString(name.toLower());
        return true;
    }
    const QString file = QDir::temp().filePath(name + QStringLiteral(".sqlite"));
    QFile::remove(file);
    // The provider opens existing files only.
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly)) {
        error = f.errorString();
        return false;
    }
    f.close();
    connectionString = QStringLiteral("Provider=SQLite;Data Source=") + file;
    return true;
}
