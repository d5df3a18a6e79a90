#pragma once

#include "ado/fileengine/excel/WorkbookReader.h"

#include <QList>

namespace ado {

// Reads an Excel 97-2003 workbook (.xls). FreeXL does the reading in a child process, as
// it can crash on a damaged file: a crash or a hang there becomes a failure that names
// the file, and the program goes on. The whole workbook is read at construction.
class XlsReader : public WorkbookReader {
public:
    explicit XlsReader(const QString& file);

    QStringList SheetNames() const override { return m_sheetNames; }
    SheetGrid ReadSheet(int index) const override { return m_sheets.value(index); }

private:
    [[noreturn]] void Fail(const QString& reason) const;

    QString m_file;
    QStringList m_sheetNames;
    QList<SheetGrid> m_sheets;
};

} // namespace ado
