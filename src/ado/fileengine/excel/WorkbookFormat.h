#pragma once

#include "ado/fileengine/FileFormat.h"
#include "ado/fileengine/excel/WorkbookReader.h"

namespace ado {

// An Excel workbook as a data source: each worksheet is a table named as Jet names it,
// the sheet name followed by "$" ("Sheet1$", "My data$").
class WorkbookFormat : public FileFormat {
public:
    // engineType: the "Jet OLEDB:Engine Type" the workbook answers (23 for "Excel 8.0").
    WorkbookFormat(std::unique_ptr<WorkbookReader> reader, bool firstRowHasNames, int engineType = 0);

    // Chooses the reader from the file's first bytes, whatever its extension.
    static std::unique_ptr<WorkbookFormat> Open(const QString& file, bool firstRowHasNames, int engineType = 0);

    QList<TableInfo> Tables() override;
    QStringList Aliases(const QString& table) const override;
    std::unique_ptr<FileTable> OpenTable(const QString& table) override;
    QVariant Property(const QString& name) const override;

private:
    std::unique_ptr<WorkbookReader> m_reader;
    bool m_firstRowHasNames;
    int m_engineType;
};

} // namespace ado
