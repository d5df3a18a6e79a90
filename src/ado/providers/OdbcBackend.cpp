#include "ado/providers/OdbcBackend.h"

#include "ado/AdoError.h"
#include "ado/AdoType.h"
#include "ado/ConnectionString.h"

#include <QSqlDriver>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sql.h>
#include <sqlext.h>

namespace ado {

OdbcBackend::OdbcBackend(const ConnectionString& cs) : QtSqlBackend(QStringLiteral("QODBC"))
{
    m_db.setDatabaseName(cs.Without({QStringLiteral("Provider")}));
    OpenDatabase();

    // The DBMS decides whether Jet's TOP and [names] need translating.
    const QVariant handle = m_db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "SQLHANDLE") == 0) {
        SQLHDBC hdbc = *static_cast<SQLHDBC const*>(handle.constData());
        SQLCHAR name[256] = {};
        SQLSMALLINT length = 0;
        if (SQLGetInfo(hdbc, SQL_DBMS_NAME, name, sizeof name, &length) == SQL_SUCCESS)
            m_dbmsName = QString::fromUtf8(reinterpret_cast<const char*>(name));
    }
    const QString dbms = m_dbmsName.toLower();
    const bool speaksJet = dbms.contains(u"access") || dbms.contains(u"sql server") || dbms.contains(u"sybase");
    m_dialect.translateBrackets = !speaksJet;
    m_dialect.translateTop = !speaksJet;
    if (dbms.contains(u"mysql") || dbms.contains(u"mariadb"))
        m_dialect.openQuote = m_dialect.closeQuote = u'`';
}

QVariant OdbcBackend::Property(const QString& name) const
{
    if (name.compare(QStringLiteral("DBMS Name"), Qt::CaseInsensitive) == 0)
        return m_dbmsName;
    return QtSqlBackend::Property(name);
}

QVector<ColumnInfo> OdbcBackend::DescribeColumns(const QSqlQuery& query) const
{
    QVector<ColumnInfo> columns = QtSqlBackend::DescribeColumns(query);
    const QSqlRecord record = query.record();
    for (int i = 0; i < columns.size(); ++i) {
        const int sqlType = record.field(i).typeID();
        if (sqlType != 0)
            columns[i].type = AdoType::FromOdbcSqlType(sqlType);
    }
    return columns;
}

} // namespace ado
