#pragma once

#include "ado/StoredColumn.h"

#include <QVariant>
#include <QVector>
#include <vector>

namespace ado {

// The rows of a recordset held by column (see StoredColumn); a QVariant is made only for
// a value that is asked for. Rows are only ever appended; a changed row keeps its place.
class ColumnStore {
public:
    explicit ColumnStore(int width = 0) : m_columns(size_t(width)) {}

    int Width() const { return int(m_columns.size()); }
    int RowCount() const { return m_rows; }
    // Missing values at the end of a short row are nulls.
    void AppendRow(const QVector<QVariant>& values);
    // Counts a row whose values were appended to every column directly.
    void CommitRow() { ++m_rows; }
    void SetRow(int row, const QVector<QVariant>& values);
    void SetValue(int row, int column, const QVariant& value) { m_columns[size_t(column)].Set(row, value); }
    QVariant Value(int row, int column) const { return m_columns[size_t(column)].Value(row); }
    QVector<QVariant> Row(int row) const;

    // A row whose cells have no values of their own but for those that differ from
    // `values`; cells that equal `same` are absent.
    void AppendDifferences(const QVector<QVariant>& values, const QVector<QVariant>& same);

    StoredColumn& Column(int column) { return m_columns[size_t(column)]; }
    const StoredColumn& Column(int column) const { return m_columns[size_t(column)]; }
    size_t MemoryBytes() const;

private:
    std::vector<StoredColumn> m_columns;
    int m_rows = 0;
};

} // namespace ado
