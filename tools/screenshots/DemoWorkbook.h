#pragma once

#include <QString>
#include <QVariantList>

// A small Excel 2007 workbook made from rows of the demo database, so that the pictures of
// an opened workbook show our own data. One sheet; numbers stay numbers, the rest is text.
class DemoWorkbook {
public:
    explicit DemoWorkbook(QString sheetName) : m_sheet(std::move(sheetName)) {}

    void SetHeader(const QStringList& names) { m_header = names; }
    void AddRow(const QVariantList& values) { m_rows << values; }
    // Writes the .xlsx file; false when it cannot be written.
    bool Write(const QString& path) const;

private:
    QString SheetXml() const;

    QString m_sheet;
    QStringList m_header;
    QList<QVariantList> m_rows;
};
