#pragma once

#include "ado/QtSqlBackend.h"

struct sqlite3;

namespace ado {

class ConnectionString;

// A SQLite database file ("Provider=SQLite;Data Source=<file>"), through QSQLITE.
class SqliteBackend : public QtSqlBackend {
public:
    explicit SqliteBackend(const ConnectionString& cs);

    QString ProviderName() const override { return QStringLiteral("SQLite"); }
    SqlDialect Dialect() const override;
    QString RowIdColumn() const override { return QStringLiteral("rowid"); }
    bool SupportsReturning(const QString&) const override { return true; }
    QList<TableInfo> Tables() override;
    // Read through PRAGMA table_info with our own quoting: QSQLITE passes a name holding
    // brackets into its statement as it is.
    QVector<ColumnInfo> TableColumns(const QString& table) override;
    QStringList PrimaryKey(const QString& table) override;
    qint64 Execute(const QString& sql, const QVariantList& params = {}) override;
    QVariant LastInsertId() const override { return m_lastInsertId; }
    std::unique_ptr<RowCursor> Query(const QString& sql, const QVariantList& params = {}) override;
    std::unique_ptr<PreparedStatement> Prepare(const QString& sql) override;

protected:
    // For engines that live in a database of their own (":memory:").
    struct InMemory {};
    explicit SqliteBackend(InMemory);

    QVector<ColumnInfo> DescribeColumns(const QSqlQuery& query) const override;
    Literals LiteralRules() const override { return Literals::Standard; }
    bool CanStream() const override { return true; }
    QVariant ToStorage(const QVariant& value) const override;
    // The connection's own handle, shared with QSQLITE.
    sqlite3* Handle() const;

private:
    friend class SqlitePreparedStatement; // binds values as ToStorage gives them
    QVariant m_lastInsertId;
};

} // namespace ado
