#pragma once

#include "ado/ColumnInfo.h"
#include "ado/RecordStore.h"
#include "ado/providers/SqliteValue.h"

#include <QVector>
#include <vector>

struct sqlite3_stmt;

namespace ado {

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

    // One whole row, each value given by valueOf(column): into the store, committed, or as
    // normalized values and the values as given.
    template <class ValueOf>
    void StoreRow(RecordStore& store, ValueOf&& valueOf) const;
    template <class ValueOf>
    void ReadRow(ValueOf&& valueOf, QVector<QVariant>& row, QVector<QVariant>* raw) const
    {
        const int n = int(m_types.size());
        row.resize(n);
        if (raw)
            raw->resize(n);
        for (int i = 0; i < n; ++i) {
            QVariant v = valueOf(i).ToVariant();
            row[i] = Normalized(i, v);
            if (raw)
                (*raw)[i] = std::move(v);
        }
    }

private:
    std::vector<int> m_types;
    std::vector<int> m_plain; // the storage class each column's type leaves as it is, or 0
};

template <class ValueOf>
void SqliteValueStorer::StoreRow(RecordStore& store, ValueOf&& valueOf) const
{
    for (int i = 0; i < int(m_types.size()); ++i)
        Store(store, i, valueOf(i));
    store.CommitRow();
}

} // namespace ado
