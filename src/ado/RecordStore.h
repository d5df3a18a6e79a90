#pragma once

#include "ado/ColumnInfo.h"
#include "ado/ColumnStore.h"

#include <QList>
#include <QVariant>
#include <QVector>
#include <vector>

namespace ado {

class Recordset;

// How an edited row is found again in its base table.
enum class RowLocation {
    ReadOnly,   // no single base table, or no way to tell its rows apart
    Key,        // by the primary key columns
    RowId,      // by the backend's row id, read with the row
    AllColumns, // by every original value, inside a transaction that checks the count
};

// The rows of a client-side recordset, shared by the recordset and its clones. Row
// indexes are stable: a deleted row is only flagged, and each view keeps its own order.
struct RecordStore {
    // The columns of the source: the only ones any view shows.
    QVector<ColumnInfo> columns;
    // Columns read behind the user's back to find a row again (key columns the source
    // does not select, or the row id); every row holds their values after the others.
    QVector<ColumnInfo> hidden;
    ColumnStore rows;
    std::vector<bool> deleted;
    // When keepRaw, one row per row: the values as the database gave them where the row's
    // own would not be given back to it as they are (the others absent); the WHERE of an
    // edit compares these.
    bool keepRaw = false;
    ColumnStore raw;
    QList<Recordset*> views;

    // Where edits go.
    QString baseTable;  // unquoted
    QString baseSchema; // unquoted, may be empty
    QVector<int> keyColumns; // indexes in a row, hidden columns included
    int rowIdColumn = -1;    // index in a row of the row id, with RowLocation::RowId
    RowLocation location = RowLocation::ReadOnly;
    QString readOnlyReason;

    int Width() const { return int(columns.size() + hidden.size()); }
    // Makes the row stores once the columns are known.
    void Begin()
    {
        rows = ColumnStore(Width());
        raw = ColumnStore(keepRaw ? Width() : 0);
    }
    void Append(const QVector<QVariant>& row, const QVector<QVariant>& rawRow)
    {
        if (keepRaw)
            raw.AppendDifferences(rawRow, row);
        rows.AppendRow(row);
        deleted.push_back(false);
    }
    // After a cursor appended a value to every column itself (and to every raw column).
    void CommitRow()
    {
        rows.CommitRow();
        if (keepRaw)
            raw.CommitRow();
        deleted.push_back(false);
    }
    // The row's values as the database gave them, or nothing when they are its own.
    QVector<QVariant> RawOf(int row) const
    {
        if (!keepRaw || row >= raw.RowCount())
            return {};
        QVector<QVariant> values;
        for (int c = 0; c < raw.Width(); ++c) {
            if (raw.Column(c).IsAbsent(row))
                continue;
            if (values.isEmpty())
                values = rows.Row(row);
            values[c] = raw.Value(row, c);
        }
        return values;
    }
    const ColumnInfo& Column(int index) const
    {
        return index < columns.size() ? columns[index] : hidden[index - columns.size()];
    }
};

} // namespace ado
