#pragma once

#include "ado/ColumnInfo.h"

#include <QList>
#include <QVariant>
#include <QVector>
#include <vector>

namespace ado {

class Recordset;

// How an edited row is found again in its base table.
enum class RowLocation {
    ReadOnly,   // no single base table
    Key,        // by the primary key columns
    RowId,      // by the backend's row id of the first row with the original values
    AllColumns, // by every original value, inside a transaction that checks the count
};

// The rows of a client-side recordset, shared by the recordset and its clones. Row
// indexes are stable: a deleted row is only flagged, and each view keeps its own order.
struct RecordStore {
    QVector<ColumnInfo> columns;
    std::vector<QVector<QVariant>> rows;
    std::vector<bool> deleted;
    QList<Recordset*> views;

    // Where edits go.
    QString baseTable;  // unquoted
    QString baseSchema; // unquoted, may be empty
    QVector<int> keyColumns;
    RowLocation location = RowLocation::ReadOnly;
    QString readOnlyReason;
};

} // namespace ado
