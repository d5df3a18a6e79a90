#pragma once

#include "ado/QtSqlBackend.h"

namespace ado {

class ConnectionString;

// PostgreSQL through QPSQL: Server (or Host, a socket folder works too), Port,
// Database (or Initial Catalog), User ID, Password.
class PostgresBackend : public QtSqlBackend {
public:
    explicit PostgresBackend(const ConnectionString& cs);

    QString ProviderName() const override { return QStringLiteral("PostgreSQL"); }
    SqlDialect Dialect() const override { return SqlDialect{}; }
    QString RowIdColumn() const override { return QStringLiteral("ctid"); }
    // Only a plain table: a view has no ctid, and partitions repeat each other's.
    QString RowIdColumnOf(const QString& table) override;
    bool SupportsReturning(const QString&) const override { return true; }
    QString Comparison(const QString& quotedColumn, int adoType) const override;
    QList<TableInfo> Tables() override;
    QStringList PrimaryKey(const QString& table) override;
    // From the catalogue by the table's regclass: QPSQL folds an unquoted name to lower case.
    QVector<ColumnInfo> TableColumns(const QString& table) override;
    void SetCommandTimeout(int seconds) override;

protected:
    // The table as to_regclass reads it: the whole name quoted when that is a table, else
    // split at its dots into schema and table.
    QString RegClass(const QString& table) const;
    QVector<ColumnInfo> DescribeColumns(const QSqlQuery& query) const override;
    Literals LiteralRules() const override { return Literals::PostgreSql; }
    // PREPARE takes only queries and data changes, not DDL or SET.
    bool CanPrepare(const QString& sql) const override;
};

} // namespace ado
