#pragma once

#include "ado/fileengine/excel/WorkbookReader.h"
#include "ado/fileengine/excel/XlsxPackage.h"

#include <QVector>

class QXmlStreamReader;

namespace ado {

// Reads an Office Open XML workbook (.xlsx, .xlsm): workbook.xml names the sheets and
// their parts, sharedStrings.xml holds the text, styles.xml says which numbers are dates.
// The workbook-wide parts are read at construction; each sheet when asked for.
class XlsxReader : public WorkbookReader {
public:
    explicit XlsxReader(const QString& file);

    QStringList SheetNames() const override { return m_sheetNames; }
    SheetGrid ReadSheet(int index) const override;

    bool Date1904() const { return m_date1904; }

private:
    void ReadWorkbook(const QString& workbookPart);
    void ReadSharedStrings(const QString& part);
    void ReadStyles(const QString& part);
    void ReadCell(QXmlStreamReader& xml, const QString& part, int row, int& column, SheetGrid& grid) const;
    QVariant CellValue(QStringView type, int style, const QString& value, const QString& part) const;
    [[noreturn]] void FailXml(const QString& part, const QXmlStreamReader& xml) const;

    XlsxPackage m_package;
    QStringList m_sheetNames;
    QStringList m_sheetParts;
    QStringList m_sharedStrings;
    QVector<bool> m_dateStyles; // by cellXfs index
    bool m_date1904 = false;
};

} // namespace ado
