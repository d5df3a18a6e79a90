#pragma once

#include "ado/fileengine/FileValueSink.h"

#include <QString>
#include <QVariant>
#include <QVector>
#include <memory>

namespace ado {

// A column of a file-backed table. The declared type is what the SQL engine shows
// ("VARCHAR(20)", "NUMERIC(10,2)", "DATE", "DATETIME", "BOOLEAN", "MEMO", "BLOB",
// "INTEGER", "DOUBLE", "CURRENCY"...), so that it maps to the right ADO type code.
struct FileColumn {
    QString name;
    QString declaredType;
};

// Reads the rows of one file-backed table in file order. It starts before the first row.
class FileTableCursor {
public:
    virtual ~FileTableCursor() = default;
    // Moves to the next row; false after the last one. Throws AdoError on a read failure.
    virtual bool Next() = 0;
    // A positive number that names the row for Update and Delete (the record number).
    virtual qint64 RowId() const = 0;
    // Null is an invalid QVariant; otherwise QString, qint64, double, bool, QDate,
    // QDateTime, QTime or QByteArray.
    virtual QVariant Value(int column) const = 0;
    // The same value handed to sink as its own type; readers that can skip the QVariant
    // override it, the others go through Value.
    virtual void Put(int column, FileValueSink& sink) const { sink.Variant(Value(column)); }
};

// One table of a file data source: a DBF file, a text file, a worksheet, an Access table.
// Each write completes on its own or leaves the file as it was.
//
// A table that CanUndo takes part in the SQL engine's transactions (every statement is
// one, or part of the connection's): Begin comes before its first change, Sync makes the
// changes durable (a failure there rolls back), Commit lets the table go for other
// programs, Rollback puts back every byte changed since Begin. Savepoint n marks the
// changes so far, RollbackTo n undoes those after the mark, Release n forgets marks from
// n on. Writes made outside Begin and Commit are each a transaction of their own.
class FileTable {
public:
    virtual ~FileTable() = default;
    virtual QVector<FileColumn> Columns() const = 0;
    virtual std::unique_ptr<FileTableCursor> Scan() = 0;

    // Writing; the defaults refuse with the reason below.
    virtual QString ReadOnlyReason() const;
    virtual qint64 Insert(const QVector<QVariant>& values);
    virtual void Update(qint64 rowId, const QVector<QVariant>& values);
    virtual void Delete(qint64 rowId);

    // Transactions; the defaults write every change for good and cannot undo it.
    virtual bool CanUndo() const { return false; }
    virtual void Begin() {}
    virtual void Sync() {}
    virtual void Commit() {}
    virtual void Rollback() {}
    virtual void Savepoint(int n) { (void)n; }
    virtual void Release(int n) { (void)n; }
    virtual void RollbackTo(int n) { (void)n; }
};

} // namespace ado
