#include "TestDatabase.h"

#include "PgTestServer.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>

namespace testsupport {

bool TestDatabase::Create(const QString& wanted, const QString& name)
{
    kind = wanted;
    if (IsPostgres()) {
        if (!PgTestServer::CreateDatabase(name.toLower(), &error))
            return false;
        connectionString = PgTestServer::ConnectionString(name.toLower());
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

} // namespace testsupport
