#pragma once

#include "ado/fileengine/FileTable.h"
#include "ado/fileengine/excel/SheetLayout.h"

namespace ado {

// A worksheet as a read-only table; the rows come from a sheet read whole at open.
class SheetTable : public FileTable {
public:
    SheetTable(QString name, SheetLayout layout);

    QVector<FileColumn> Columns() const override { return m_layout.Columns(); }
    std::unique_ptr<FileTableCursor> Scan() override;
    QString ReadOnlyReason() const override;

private:
    QString m_name;
    SheetLayout m_layout;
};

} // namespace ado
