#pragma once

#include <QVariant>
#include <QVector>

#include <map>

class QDataStream;

namespace ado {

// The non-empty cells of one worksheet, as read from the file: QString, double, bool or
// QDateTime. Rows and columns count from 0; rows are kept sparse, since a sheet may use
// row 1 and row 1,000,000 only.
class SheetGrid {
public:
    // Excel's own limits; a reference past them means a damaged file.
    static constexpr int MaxRows = 1048576;
    static constexpr int MaxColumns = 16384;

    // Empty strings and null values leave the cell empty.
    void Set(int row, int column, const QVariant& value);
    QVariant Cell(int row, int column) const;

    bool IsEmpty() const { return m_rows.empty(); }
    // The bounding box of the non-empty cells; meaningless when IsEmpty().
    int FirstRow() const { return m_rows.begin()->first; }
    int LastRow() const { return m_rows.rbegin()->first; }
    int FirstColumn() const { return m_firstColumn; }
    int LastColumn() const { return m_lastColumn; }

    // The cells in a form another process can read back.
    friend QDataStream& operator<<(QDataStream& out, const SheetGrid& grid);
    friend QDataStream& operator>>(QDataStream& in, SheetGrid& grid);

private:
    std::map<int, QVector<QVariant>> m_rows;
    int m_firstColumn = MaxColumns;
    int m_lastColumn = -1;
};

} // namespace ado
