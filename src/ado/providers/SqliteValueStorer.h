#pragma once

#include "ado/ColumnInfo.h"
#include "ado/providers/SqliteValue.h"

#include <QVector>
#include <vector>

struct sqlite3_stmt;

namespace ado {

struct RecordStore;

// Turns the values of a SQLite result into a recordset's values, normalized to each
// column's ADO type, and its columns into ColumnInfo.
class SqliteValueStorer {
public:
    explicit SqliteValueStorer(const QVector<ColumnInfo>& columns);

    // The result columns of a prepared statement; a column without a declared type takes
    // the type of its value in the current row, when there is one.
    static QVector<ColumnInfo> Describe(sqlite3_stmt* stmt, bool onRow);

    // Appends the value to the column of the store, and its raw value when the store keeps
    // them; the store's row is committed by the caller.
    void Store(RecordStore& store, int column, const SqliteValue& value) const;
    // The value normalized to the column's type.
    QVariant Normalized(int column, const QVariant& raw) const;

private:
    std::vector<int> m_types;
    std::vector<int> m_plain; // the storage class each column's type leaves as it is, or 0
};

} // namespace ado
