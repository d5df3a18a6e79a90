#include "DemoWorkbook.h"

#include <QXmlStreamWriter>
#include <quazip.h>
#include <quazipfile.h>

namespace {

bool AddEntry(QuaZip& zip, const QString& name, const QByteArray& bytes)
{
    QuaZipFile entry(&zip);
    if (!entry.open(QIODevice::WriteOnly, QuaZipNewInfo(name)))
        return false;
    const bool written = entry.write(bytes) == bytes.size();
    entry.close();
    return written && entry.getZipError() == 0;
}

// "A", "B", ... "Z", "AA": the column letters of a cell reference.
QString ColumnLetters(int column)
{
    QString letters;
    for (int n = column + 1; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + (n - 1) % 26));
    return letters;
}

void WriteCell(QXmlStreamWriter& xml, int row, int column, const QVariant& value)
{
    xml.writeStartElement(QStringLiteral("c"));
    xml.writeAttribute(QStringLiteral("r"), ColumnLetters(column) + QString::number(row + 1));
    const auto type = value.typeId();
    if (type == QMetaType::Int || type == QMetaType::LongLong || type == QMetaType::Double) {
        xml.writeTextElement(QStringLiteral("v"), QString::number(value.toDouble(), 'g', 15));
    } else {
        xml.writeAttribute(QStringLiteral("t"), QStringLiteral("inlineStr"));
        xml.writeStartElement(QStringLiteral("is"));
        xml.writeTextElement(QStringLiteral("t"), value.toString());
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

} // namespace

QString DemoWorkbook::SheetXml() const
{
    QString text;
    QXmlStreamWriter xml(&text);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("worksheet"));
    xml.writeDefaultNamespace(QStringLiteral("http://schemas.openxmlformats.org/spreadsheetml/2006/main"));
    xml.writeStartElement(QStringLiteral("sheetData"));
    QList<QVariantList> rows{QVariantList(m_header.begin(), m_header.end())};
    rows << m_rows;
    for (int r = 0; r < rows.size(); ++r) {
        xml.writeStartElement(QStringLiteral("row"));
        xml.writeAttribute(QStringLiteral("r"), QString::number(r + 1));
        for (int c = 0; c < rows[r].size(); ++c) {
            if (!rows[r][c].isNull())
                WriteCell(xml, r, c, rows[r][c]);
        }
        xml.writeEndElement();
    }
    xml.writeEndDocument();
    return text;
}

bool DemoWorkbook::Write(const QString& path) const
{
    const QByteArray contentTypes =
        R"(<?xml version="1.0" encoding="UTF-8"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>
<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>
</Types>)";
    const QByteArray packageRels =
        R"(<?xml version="1.0" encoding="UTF-8"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>
</Relationships>)";
    const QByteArray workbookRels =
        R"(<?xml version="1.0" encoding="UTF-8"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>
</Relationships>)";
    QString workbook;
    QXmlStreamWriter xml(&workbook);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("workbook"));
    xml.writeDefaultNamespace(QStringLiteral("http://schemas.openxmlformats.org/spreadsheetml/2006/main"));
    xml.writeNamespace(QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships"),
                       QStringLiteral("r"));
    xml.writeStartElement(QStringLiteral("sheets"));
    xml.writeStartElement(QStringLiteral("sheet"));
    xml.writeAttribute(QStringLiteral("name"), m_sheet);
    xml.writeAttribute(QStringLiteral("sheetId"), QStringLiteral("1"));
    xml.writeAttribute(QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships"),
                       QStringLiteral("id"), QStringLiteral("rId1"));
    xml.writeEndDocument();

    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    const bool written = AddEntry(zip, QStringLiteral("[Content_Types].xml"), contentTypes)
        && AddEntry(zip, QStringLiteral("_rels/.rels"), packageRels)
        && AddEntry(zip, QStringLiteral("xl/workbook.xml"), workbook.toUtf8())
        && AddEntry(zip, QStringLiteral("xl/_rels/workbook.xml.rels"), workbookRels)
        && AddEntry(zip, QStringLiteral("xl/worksheets/sheet1.xml"), SheetXml().toUtf8());
    zip.close();
    return written && zip.getZipError() == 0;
}
