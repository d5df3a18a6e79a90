#pragma once

#include "ado/ColumnInfo.h"

#include <QVariant>
#include <QVector>

namespace ado {

struct RecordStore;

// A running query that hands out its rows one at a time, values already normalized
// to their column's ADO type.
class RowCursor {
public:
    virtual ~RowCursor() = default;
    virtual const QVector<ColumnInfo>& Columns() const = 0;
    // Fills row and returns true, or returns false after the last row; throws on failure.
    virtual bool Next(QVector<QVariant>& row) = 0;
    // Like Next, and gives the values as the database handed them over before they were
    // normalized, so that an edit can find the row by what is really stored.
    virtual bool NextRaw(QVector<QVariant>& row, QVector<QVariant>& raw)
    {
        const bool more = Next(row);
        raw = row;
        return more;
    }
    // Appends the next row to the store, with its raw values when the store keeps them,
    // and returns true, or returns false after the last row; throws on failure. A cursor
    // that has its values unboxed may fill the store's columns itself.
    virtual bool AppendTo(RecordStore& store);

private:
    QVector<QVariant> m_row;
    QVector<QVariant> m_raw;
};

} // namespace ado
