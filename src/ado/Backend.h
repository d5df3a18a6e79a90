#pragma once

#include "ado/ColumnInfo.h"
#include "ado/RowCursor.h"
#include "ado/SqlDialect.h"
#include "ado/TableInfo.h"

#include <QList>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace ado {

// A statement without rows run many times with other values, as Backend::Prepare gave it.
class PreparedStatement {
public:
    virtual ~PreparedStatement() = default;
    // Runs the statement with these values; returns the affected count (-1 when unknown).
    virtual qint64 Execute(const QVariantList& params) = 0;
};

// An open session of one provider. Statements given here are native to the backend:
// the Jet translation happens before (see Translate).
class Backend {
public:
    virtual ~Backend() = default;

    virtual QString ProviderName() const = 0;
    // A dynamic property of the connection; throws ItemNotFound for one it does not know.
    virtual QVariant Property(const QString& name) const;
    virtual SqlDialect Dialect() const = 0;
    virtual QString Translate(const QString& jetSql) const;

    // Runs a statement without rows and returns the affected count (-1 when unknown).
    virtual qint64 Execute(const QString& sql, const QVariantList& params = {}) = 0;
    // Runs a statement with rows. The caller may read them bit by bit while other
    // statements run on the same session; a backend that cannot keep a statement open
    // meanwhile reads its rows ahead.
    virtual std::unique_ptr<RowCursor> Query(const QString& sql, const QVariantList& params = {}) = 0;
    // A statement without rows to run many times; a backend that can keep it compiled
    // between runs does, the others run it through Execute each time. It must not outlive
    // this session.
    virtual std::unique_ptr<PreparedStatement> Prepare(const QString& sql);

    virtual QList<TableInfo> Tables() = 0;
    virtual QVector<ColumnInfo> TableColumns(const QString& table) = 0;
    virtual QStringList PrimaryKey(const QString& table) = 0;
    // A column that names a row of any table ("rowid"), empty when the backend has none.
    virtual QString RowIdColumn() const { return {}; }
    // RowIdColumn when that table has row ids that name one row each, else empty.
    virtual QString RowIdColumnOf(const QString& table) { (void)table; return RowIdColumn(); }
    // The WHERE term that finds a column holding the value bound to "?", compared the
    // way the database stores it.
    virtual QString Comparison(const QString& quotedColumn, int adoType) const
    {
        (void)adoType;
        return quotedColumn + QStringLiteral(" = ?");
    }
    // The row id of the row the last Execute inserted, invalid when unknown.
    virtual QVariant LastInsertId() const { return {}; }
    // Whether INSERT ... RETURNING reads back what was stored in that table.
    virtual bool SupportsReturning(const QString& table) const { (void)table; return false; }

    virtual void BeginTransaction() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
    virtual void SetCommandTimeout(int seconds) { (void)seconds; }
};

} // namespace ado
