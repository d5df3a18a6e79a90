#pragma once

#include "ado/fileengine/FileTable.h"
#include "ado/fileengine/excel/SheetGrid.h"

namespace ado {

// How a worksheet reads as a table. The range is the bounding box of the non-empty cells;
// its first row gives the column names when firstRowHasNames, else the columns are F1,
// F2... Rows run to the last used one, empty rows inside the range read as all-null rows.
//
// Column types come from every row, not only the first 8 Jet samples, so that no value is
// lost to a guess: all numbers DOUBLE, all dates DATETIME, all booleans BOOLEAN, anything
// else (text, or a mix) VARCHAR(255), or MEMO when a text is longer than 255 characters.
// In a text column the other values read as Excel shows them ("12.5", "2016-02-26",
// "TRUE").
class SheetLayout {
public:
    enum class Kind { Empty, Number, Date, Boolean, Text };

    SheetLayout(SheetGrid grid, bool firstRowHasNames);

    const QVector<FileColumn>& Columns() const { return m_columns; }
    int RowCount() const { return m_rowCount; }
    // Null is an invalid QVariant; otherwise double, QDateTime, bool or QString, per the
    // column's type.
    QVariant Value(int row, int column) const;

    static QString AsText(const QVariant& cell);

private:
    void BuildColumns(bool firstRowHasNames);

    SheetGrid m_grid;
    QVector<FileColumn> m_columns;
    QVector<Kind> m_kinds;
    int m_firstDataRow = 0;
    int m_firstColumn = 0;
    int m_rowCount = 0;
};

} // namespace ado
