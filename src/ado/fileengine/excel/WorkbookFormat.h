#pragma once

#include "ado/fileengine/FileFormat.h"
#include "ado/fileengine/excel/WorkbookReader.h"

namespace ado {

// An Excel workbook as a data source: each worksheet is a table named as Jet names it,
// the sheet name followed by "$" ("Sheet1$", "My data$").
class WorkbookFormat : public FileFormat {
public:
    WorkbookFormat(std::unique_ptr<WorkbookReader> reader, bool firstRowHasNames);

    // Chooses the reader from the file's first bytes, whatever its extension.
    static std::unique_ptr<WorkbookFormat> Open(const QString& file, bool firstRowHasNames);

    QList<TableInfo> Tables() override;
    QStringList Aliases(const QString& table) const override;
    std::unique_ptr<FileTable> OpenTable(const QString& table) override;

private:
    std::unique_ptr<WorkbookReader> m_reader;
    bool m_firstRowHasNames;
};

} // namespace ado
