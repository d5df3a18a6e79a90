#include "ado/ColumnStore.h"

namespace ado {

void ColumnStore::AppendRow(const QVector<QVariant>& values)
{
    for (size_t c = 0; c < m_columns.size(); ++c)
        m_columns[c].Append(qsizetype(c) < values.size() ? values[qsizetype(c)] : QVariant());
    ++m_rows;
}

void ColumnStore::AppendDifferences(const QVector<QVariant>& values, const QVector<QVariant>& same)
{
    for (size_t c = 0; c < m_columns.size(); ++c) {
        const QVariant v = values.value(qsizetype(c));
        if (v == same.value(qsizetype(c)) && v.metaType() == same.value(qsizetype(c)).metaType())
            m_columns[c].AppendAbsent();
        else
            m_columns[c].Append(v);
    }
    ++m_rows;
}

void ColumnStore::SetRow(int row, const QVector<QVariant>& values)
{
    for (size_t c = 0; c < m_columns.size(); ++c) {
        const QVariant v = values.value(qsizetype(c));
        const QVariant old = m_columns[c].Value(row);
        if (!(v == old && v.metaType() == old.metaType()))
            m_columns[c].Set(row, v);
    }
}

QVector<QVariant> ColumnStore::Row(int row) const
{
    QVector<QVariant> values(Width());
    for (size_t c = 0; c < m_columns.size(); ++c)
        values[qsizetype(c)] = m_columns[c].Value(row);
    return values;
}

size_t ColumnStore::MemoryBytes() const
{
    size_t bytes = sizeof(*this);
    for (const StoredColumn& column : m_columns)
        bytes += column.MemoryBytes();
    return bytes;
}

} // namespace ado
