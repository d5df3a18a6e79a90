#include "ado/providers/PostgresBackend.h"

#include "ado/AdoError.h"
#include "ado/AdoType.h"
#include "ado/ConnectionString.h"
#include "ado/SqlTokenizer.h"

#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace ado {

PostgresBackend::PostgresBackend(const ConnectionString& cs) : QtSqlBackend(QStringLiteral("QPSQL"))
{
    m_db.setHostName(cs.FirstOf({"Server", "Host", "Data Source"}));
    const QString port = cs.Value(QStringLiteral("Port"));
    if (!port.isEmpty())
        m_db.setPort(port.toInt());
    m_db.setDatabaseName(cs.FirstOf({"Database", "Initial Catalog"}));
    m_db.setUserName(cs.FirstOf({"User ID", "UID", "User", "Username"}));
    m_db.setPassword(cs.FirstOf({"Password", "PWD"}));
    OpenDatabase();
}

QList<TableInfo> PostgresBackend::Tables()
{
    QList<TableInfo> tables;
    QSqlQuery q(m_db);
    // Tables of the search path by their bare names; other schemas qualified.
    const QString sql = QStringLiteral(
        "SELECT CASE WHEN n.nspname = ANY (current_schemas(false)) THEN c.relname ELSE n.nspname || '.' || c.relname END, "
        "c.relkind, n.nspname IN ('pg_catalog', 'information_schema') "
        "FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
        "WHERE c.relkind IN ('r', 'v', 'm', 'p', 'f') AND n.nspname NOT LIKE 'pg_toast%' "
        "ORDER BY 1");
    if (!q.exec(sql))
        Fail(q, sql);
    while (q.next()) {
        const QString kind = q.value(1).toString();
        QString type = (kind == u"v" || kind == u"m") ? QStringLiteral("VIEW") : QStringLiteral("TABLE");
        if (q.value(2).toBool())
            type = QStringLiteral("SYSTEM ") + type;
        tables.append({q.value(0).toString(), type});
    }
    return tables;
}

QString PostgresBackend::RowIdColumnOf(const QString& table)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT relkind FROM pg_class WHERE oid = to_regclass(?)"));
    q.addBindValue(RegClass(table));
    if (!q.exec())
        Fail(q, q.lastQuery());
    return q.next() && q.value(0).toString() == u"r" ? RowIdColumn() : QString();
}

QStringList PostgresBackend::PrimaryKey(const QString& table)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "SELECT a.attname FROM pg_index i "
        "JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = ANY (i.indkey) "
        "WHERE i.indrelid = to_regclass(?) AND i.indisprimary "
        "ORDER BY array_position(i.indkey::int2[], a.attnum)"));
    q.addBindValue(RegClass(table));
    if (!q.exec())
        Fail(q, q.lastQuery());
    QStringList names;
    while (q.next())
        names << q.value(0).toString();
    return names;
}

QString PostgresBackend::RegClass(const QString& table) const
{
    const QString whole = Dialect().quoteIdentifier(table);
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT to_regclass(?) IS NOT NULL"));
    q.addBindValue(whole);
    if (q.exec() && q.next() && q.value(0).toBool())
        return whole;
    QString regclass;
    for (const QString& part : table.split(u'.'))
        regclass += (regclass.isEmpty() ? QString() : QStringLiteral(".")) + Dialect().quoteIdentifier(part);
    return regclass;
}

QVector<ColumnInfo> PostgresBackend::TableColumns(const QString& table)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "SELECT a.attname, a.atttypid, a.attnotnull, "
        "a.attidentity <> '' OR COALESCE(pg_get_expr(d.adbin, d.adrelid) LIKE 'nextval(%', false) "
        "FROM pg_attribute a LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
        "WHERE a.attrelid = to_regclass(?) AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum"));
    q.addBindValue(RegClass(table));
    if (!q.exec())
        Fail(q, q.lastQuery());
    QVector<ColumnInfo> columns;
    while (q.next()) {
        ColumnInfo c;
        c.name = q.value(0).toString();
        c.baseColumn = c.name;
        c.type = AdoType::FromPostgresOid(q.value(1).toInt());
        c.nullable = !q.value(2).toBool();
        c.autoIncrement = q.value(3).toBool();
        columns.append(c);
    }
    return columns;
}

QString PostgresBackend::Comparison(const QString& quotedColumn, int adoType) const
{
    // json has no "=", and every type the driver hands over as text compares as its text.
    if (adoType == AdoType::VarWChar || adoType == AdoType::LongVarWChar)
        return QStringLiteral("CAST(%1 AS TEXT) = ?").arg(quotedColumn);
    // The driver reads timestamps to the millisecond; the server keeps microseconds.
    if (adoType == AdoType::DBTimeStamp)
        return QStringLiteral("date_trunc('milliseconds', %1) = ?").arg(quotedColumn);
    return Backend::Comparison(quotedColumn, adoType);
}

bool PostgresBackend::CanPrepare(const QString& sql) const
{
    for (const SqlToken& t : SqlTokenizer::Tokenize(sql)) {
        if (!t.isSignificant() || t.isPunct(u'('))
            continue;
        for (const char* word : {"SELECT", "INSERT", "UPDATE", "DELETE", "VALUES", "WITH", "TABLE", "MERGE"})
            if (t.isWord(word))
                return true;
        return false;
    }
    return false;
}

void PostgresBackend::SetCommandTimeout(int seconds)
{
    QSqlQuery q(m_db);
    q.exec(QStringLiteral("SET statement_timeout = %1").arg(qint64(qMax(0, seconds)) * 1000));
}

QVector<ColumnInfo> PostgresBackend::DescribeColumns(const QSqlQuery& query) const
{
    QVector<ColumnInfo> columns = QtSqlBackend::DescribeColumns(query);
    const QSqlRecord record = query.record();
    for (int i = 0; i < columns.size(); ++i) {
        const int oid = record.field(i).typeID();
        if (oid > 0)
            columns[i].type = AdoType::FromPostgresOid(oid);
    }
    return columns;
}

} // namespace ado
