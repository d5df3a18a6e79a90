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
    QList<TableInfo> Tables() override;
    QVector<ColumnInfo> TableColumns(const QString& table) override;
    QStringList PrimaryKey(const QString& table) override;
    void BeginTransaction() override;
    void Commit() override;
    void Rollback() override;

    QSqlDatabase& Database() { return m_db; }
    // The ADO number that best describes a failure text of the database.
    static long NumberForMessage(const QString& message);

protected:
    // Opens a connection of that Qt driver under a name of its own.
    QtSqlBackend(const QString& driver);
    void OpenDatabase();

    // The ADO description of each column of a query that has just run.
    virtual QVector<ColumnInfo> DescribeColumns(const QSqlQuery& query) const;
    // True when the driver can keep a forward-only statement open while others run.
    virtual bool CanStream() const { return false; }
    // Values as the driver should bind them (dates as text for SQLite, say).
    virtual QVariant ToStorage(const QVariant& value) const { return value; }

    void Prepare(QSqlQuery& query, const QString& sql, const QVariantList& params) const;
    // Executes with or without bound parameters; throws on failure.
    void Run(QSqlQuery& query, const QString& sql, const QVariantList& params) const;
    [[noreturn]] void Fail(const QSqlQuery& query, const QString& sql) const;
    [[noreturn]] void FailDatabase(const QString& what) const;

    QSqlDatabase m_db;
    QString m_connectionName;
};

} // namespace ado
