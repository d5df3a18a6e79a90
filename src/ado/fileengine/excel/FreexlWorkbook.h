#pragma once

#include "ado/fileengine/excel/WorkbookReader.h"

#include <memory>

namespace ado {

// An Excel 97-2003 workbook (.xls, BIFF5 and BIFF8) read through FreeXL, which loads the
// whole file at open. FreeXL gives no formula results and reports booleans and error
// cells as integers, so such cells read as empty and as numbers. FreeXL can crash on a
// damaged file: XlsReader runs this in a child process.
class FreexlWorkbook : public WorkbookReader {
public:
    explicit FreexlWorkbook(const QString& file);
    ~FreexlWorkbook() override;

    QStringList SheetNames() const override { return m_sheetNames; }
    SheetGrid ReadSheet(int index) const override;

private:
    [[noreturn]] void Fail(const QString& reason) const;
    [[noreturn]] void Fail(int freexlError) const;

    struct HandleCloser {
        void operator()(const void* handle) const;
    };
    QString m_file;
    std::unique_ptr<const void, HandleCloser> m_handle;
    QStringList m_sheetNames;
};

} // namespace ado
