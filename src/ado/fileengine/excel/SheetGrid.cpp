#include "ado/fileengine/excel/SheetGrid.h"

#include <QDataStream>
#include <QString>

namespace ado {

void SheetGrid::Set(int row, int column, const QVariant& value)
{
    if (!value.isValid() || value.isNull() || row < 0 || column < 0)
        return;
    if (value.metaType().id() == QMetaType::QString && value.toString().isEmpty())
        return;
    QVector<QVariant>& cells = m_rows[row];
    if (cells.size() <= column)
        cells.resize(column + 1);
    cells[column] = value;
    m_firstColumn = std::min(m_firstColumn, column);
    m_lastColumn = std::max(m_lastColumn, column);
}

QVariant SheetGrid::Cell(int row, int column) const
{
    const auto it = m_rows.find(row);
    if (it == m_rows.end() || column < 0 || column >= it->second.size())
        return {};
    return it->second[column];
}

QDataStream& operator<<(QDataStream& out, const SheetGrid& grid)
{
    for (const auto& [row, cells] : grid.m_rows) {
        for (int c = 0; c < cells.size(); ++c) {
            if (cells[c].isValid())
                out << qint32(row) << qint32(c) << cells[c];
        }
    }
    return out << qint32(-1);
}

QDataStream& operator>>(QDataStream& in, SheetGrid& grid)
{
    grid = SheetGrid();
    for (;;) {
        qint32 row = -1;
        qint32 column = -1;
        in >> row;
        if (row < 0 || in.status() != QDataStream::Ok)
            break;
        QVariant value;
        in >> column >> value;
        if (in.status() != QDataStream::Ok || row >= SheetGrid::MaxRows || column < 0 || column >= SheetGrid::MaxColumns) {
            in.setStatus(QDataStream::ReadCorruptData);
            break;
        }
        grid.Set(row, column, value);
    }
    return in;
}

} // namespace ado
