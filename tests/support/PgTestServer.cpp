#include "PgTestServer.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace testsupport {

QString PgTestServer::Host()
{
    return qEnvironmentVariable("DABRIX_PG_HOST");
}

int PgTestServer::Port()
{
    return qEnvironmentVariableIntValue("DABRIX_PG_PORT");
}

QString PgTestServer::User()
{
    return QStringLiteral("dabrix");
}

bool PgTestServer::CreateDatabase(const QString& name, QString* error)
{
    if (Host().isEmpty()) {
        if (error)
            *error = QStringLiteral("DABRIX_PG_HOST is not set: run the tests through ctest");
        return false;
    }
    const QString cn = QStringLiteral("pgadmin-") + QUuid::createUuid().toString();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), cn);
        db.setHostName(Host());
        db.setPort(Port());
        db.setUserName(User());
        db.setDatabaseName(QStringLiteral("postgres"));
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("DROP DATABASE IF EXISTS \"%1\"").arg(name));
            ok = q.exec(QStringLiteral("CREATE DATABASE \"%1\"").arg(name));
            if (!ok && error)
                *error = q.lastError().text();
        } else if (error) {
            *error = db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(cn);
    return ok;
}

QString PgTestServer::ConnectionString(const QString& database)
{
    return QStringLiteral("Provider=PostgreSQL;Server=%1;Port=%2;Database=%3;User ID=%4")
        .arg(Host()).arg(Port()).arg(database, User());
}

} // namespace testsupport
