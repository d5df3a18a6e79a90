#include "ado/providers/SqliteBackend.h"

#include "ado/AdoError.h"
#include "ado/AdoType.h"
#include "ado/ConnectionString.h"
#include "ado/providers/SqliteCursor.h"
#include "ado/providers/SqlitePreparedStatement.h"

#include <QDate>
#include <QSqlDatabase>
#include <QDateTime>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>
#include <QTime>

#include <sqlite3.h>

#include <algorithm>

namespace ado {

SqliteBackend::SqliteBackend(const ConnectionString& cs) : QtSqlBackend(QStringLiteral("QSQLITE"))
{
    const QString file = cs.FirstOf({"Data Source", "Database", "DBQ"});
    if (file.isEmpty())
        throw AdoError(err::Unspecified, QStringLiteral("No database file was given (Data Source)."));
    // Opening a missing file would silently create an empty database.
    if (file != u":memory:" && !QFileInfo(file).isFile())
        throw AdoError(err::Unspecified, QStringLiteral("Could not find file '%1'.").arg(file));
    m_db.setDatabaseName(file);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    OpenDatabase();
    QSqlQuery pragma(m_db);
    pragma.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
}

SqliteBackend::SqliteBackend(InMemory) : QtSqlBackend(QStringLiteral("QSQLITE"))
{
    m_db.setDatabaseName(QStringLiteral(":memory:"));
    OpenDatabase();
}

SqlDialect SqliteBackend::Dialect() const
{
    return SqlDialect{};
}

QList<TableInfo> SqliteBackend::Tables()
{
    QList<TableInfo> tables;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT name, type FROM sqlite_master WHERE type IN ('table','view') ORDER BY name")))
        Fail(q, q.lastQuery());
    while (q.next()) {
        const QString name = q.value(0).toString();
        const bool system = name.startsWith(QStringLiteral("sqlite_"));
        const QString type = system ? QStringLiteral("SYSTEM TABLE")
                                    : (q.value(1).toString() == u"view" ? QStringLiteral("VIEW") : QStringLiteral("TABLE"));
        tables.append({name, type});
    }
    return tables;
}

namespace {

struct TableInfoRow {
    ColumnInfo column;
    int keyPosition = 0; // 1-based place in the primary key, 0 when not in it
};

// PRAGMA table_info of a table, or of schema.table when the whole name is no table.
QList<TableInfoRow> ReadTableInfo(const QSqlDatabase& db, const SqlDialect& dialect, const QString& table)
{
    const auto read = [&](const QString& pragma) {
        QList<TableInfoRow> rows;
        QSqlQuery q(db);
        if (!q.prepare(pragma) || !q.exec())
            return rows;
        while (q.next()) {
            TableInfoRow row;
            row.column.name = q.value(1).toString();
            row.column.baseColumn = row.column.name;
            row.column.type = AdoType::FromDeclaredType(q.value(2).toString());
            row.column.nullable = !q.value(3).toBool();
            row.keyPosition = q.value(5).toInt();
            rows.append(row);
        }
        return rows;
    };
    QList<TableInfoRow> rows = read(QStringLiteral("PRAGMA table_info(") + dialect.quoteIdentifier(table) + u')');
    const qsizetype dot = table.indexOf(u'.');
    if (rows.isEmpty() && dot > 0)
        rows = read(QStringLiteral("PRAGMA ") + dialect.quoteIdentifier(table.left(dot)) + QStringLiteral(".table_info(")
                    + dialect.quoteIdentifier(table.mid(dot + 1)) + u')');
    // A lone INTEGER PRIMARY KEY is the row id: SQLite numbers it.
    int keyColumns = 0;
    for (const TableInfoRow& row : rows)
        keyColumns += row.keyPosition > 0 ? 1 : 0;
    for (TableInfoRow& row : rows)
        row.column.autoIncrement = keyColumns == 1 && row.keyPosition == 1 && row.column.type == AdoType::Integer;
    return rows;
}

} // namespace

QVector<ColumnInfo> SqliteBackend::TableColumns(const QString& table)
{
    QVector<ColumnInfo> columns;
    for (const TableInfoRow& row : ReadTableInfo(m_db, Dialect(), table))
        columns.append(row.column);
    return columns;
}

QStringList SqliteBackend::PrimaryKey(const QString& table)
{
    QList<TableInfoRow> rows = ReadTableInfo(m_db, Dialect(), table);
    std::stable_sort(rows.begin(), rows.end(),
                     [](const TableInfoRow& a, const TableInfoRow& b) { return a.keyPosition < b.keyPosition; });
    QStringList names;
    for (const TableInfoRow& row : rows)
        if (row.keyPosition > 0)
            names << row.column.name;
    return names;
}

QVector<ColumnInfo> SqliteBackend::DescribeColumns(const QSqlQuery& query) const
{
    QVector<ColumnInfo> columns = QtSqlBackend::DescribeColumns(query);
    sqlite3_stmt* stmt = nullptr;
    const QVariant handle = query.result() ? query.result()->handle() : QVariant();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3_stmt*") == 0)
        stmt = *static_cast<sqlite3_stmt* const*>(handle.constData());
    if (!stmt)
        return columns;
    for (int i = 0; i < columns.size() && i < sqlite3_column_count(stmt); ++i) {
        const char* declared = sqlite3_column_decltype(stmt, i);
        if (!declared)
            continue;
        const QString decl = QString::fromUtf8(declared);
        columns[i].type = AdoType::FromDeclaredType(decl);
        const qsizetype paren = decl.indexOf(u'(');
        if (paren >= 0)
            columns[i].definedSize = decl.mid(paren + 1).section(u',', 0, 0).remove(u')').trimmed().toInt();
    }
    return columns;
}

sqlite3* SqliteBackend::Handle() const
{
    const QVariant handle = m_db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        throw AdoError(err::Unspecified, QStringLiteral("The SQLite driver gives no handle."));
    return *static_cast<sqlite3* const*>(handle.constData());
}

qint64 SqliteBackend::Execute(const QString& sql, const QVariantList& params)
{
    // sqlite3_changes keeps the count of the last data change, so a statement that
    // changed nothing would report the count of an earlier one.
    sqlite3* db = Handle();
    const int before = sqlite3_total_changes(db);
    m_lastInsertId = QVariant();
    const qint64 affected = QtSqlBackend::Execute(sql, params);
    if (sqlite3_total_changes(db) == before)
        return 0;
    m_lastInsertId = qint64(sqlite3_last_insert_rowid(db));
    return affected;
}

std::unique_ptr<RowCursor> SqliteBackend::Query(const QString& sql, const QVariantList& params)
{
    // Bound parameters (INSERT ... RETURNING) are rare and small: Qt binds them.
    if (!params.isEmpty())
        return QtSqlBackend::Query(sql, params);
    return std::make_unique<SqliteCursor>(Handle(), sql);
}

std::unique_ptr<PreparedStatement> SqliteBackend::Prepare(const QString& sql)
{
    return std::make_unique<SqlitePreparedStatement>(*this, Handle(), sql);
}

QVariant SqliteBackend::ToStorage(const QVariant& value) const
{
    switch (value.metaType().id()) {
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        return dt.toString(dt.time().msec() ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz") : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    case QMetaType::QTime:
        return value.toTime().toString(QStringLiteral("HH:mm:ss"));
    case QMetaType::Bool:
        return value.toBool() ? 1 : 0;
    default:
        return value;
    }
}

} // namespace ado
