#pragma once

#include "ado/Backend.h"

#include <QSqlDatabase>

class QSqlQuery;
class QSqlRecord;

namespace ado {

// A backend over one of Qt's SQL drivers. Subclasses say how the driver's fields map to
// ADO types and how to find keys; the statement plumbing is shared.
class QtSqlBackend : public Backend {
public:
    ~QtSqlBackend() override;

    qint64 Execute(const QString& sql, const QVariantList& params = {}) override;
    std::unique_ptr<RowCursor> Query(const QString& sql, const QVariantList& params = {}) override;
    // Kept prepared in the driver when it can prepare the statement.
    std::unique_ptr<PreparedStatement> Prepare(const QString& sql) override;
    QList<TableInfo> Tables() override;
    QVector<ColumnInfo> TableColumns(const QString& table) override;
    QStringList PrimaryKey(const QString& table) override;
    void BeginTransaction() override;
    void Commit() override;
    void Rollback() override;

    QSqlDatabase& Database() { return m_db; }
    // The ADO number that best describes a failure text of the database.
    static long NumberForMessage(const QString& message);
    // How string literals end: doubled quotes only (SQLite), a backslash escape in E''
    // literals too (PostgreSQL), or not known, where both readings must find one statement.
    enum class Literals { Standard, PostgreSql, Unknown };
    // Throws a clear failure for an empty text or one holding more than one statement:
    // a backend must never run a statement nobody looked at.
    static void CheckSingleStatement(const QString& sql, Literals literals = Literals::Standard);

protected:
    friend class QtSqlPreparedStatement; // prepares, binds and fails as Execute does
    // Opens a connection of that Qt driver under a name of its own.
    QtSqlBackend(const QString& driver);
    void OpenDatabase();

    // The ADO description of each column of a query that has just run.
    virtual QVector<ColumnInfo> DescribeColumns(const QSqlQuery& query) const;
    // True when the driver can keep a forward-only statement open while others run.
    virtual bool CanStream() const { return false; }
    // Whether the driver can prepare that statement; one it cannot runs directly, after
    // CheckSingleStatement made sure it is only one.
    virtual bool CanPrepare(const QString& sql) const { (void)sql; return true; }
    virtual Literals LiteralRules() const { return Literals::Unknown; }
    // Values as the driver should bind them (dates as text for SQLite, say).
    virtual QVariant ToStorage(const QVariant& value) const { return value; }

    void Prepare(QSqlQuery& query, const QString& sql, const QVariantList& params) const;
    // Prepares and executes exactly one statement, so that no text can run a second one.
    void Run(QSqlQuery& query, const QString& sql, const QVariantList& params) const;
    [[noreturn]] void Fail(const QSqlQuery& query, const QString& sql) const;
    [[noreturn]] void FailDatabase(const QString& what) const;

    QSqlDatabase m_db;
    QString m_connectionName;
};

} // namespace ado
