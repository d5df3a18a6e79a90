#pragma once

#include "ado/fileengine/excel/SheetGrid.h"

#include <QStringList>

namespace ado {

// Reads the worksheets of one workbook file, whatever its format. Both calls throw
// AdoError when the file is damaged.
class WorkbookReader {
public:
    virtual ~WorkbookReader() = default;
    // The worksheet names in workbook order; chart sheets are not listed.
    virtual QStringList SheetNames() const = 0;
    virtual SheetGrid ReadSheet(int index) const = 0;
};

} // namespace ado
