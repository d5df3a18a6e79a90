#include "ado/fileengine/excel/XlsxReader.h"

#include "ado/fileengine/excel/ExcelDate.h"
#include "ado/fileengine/excel/ExcelNumberFormat.h"

#include <QHash>
#include <QXmlStreamReader>

namespace ado {

namespace {

const QString RelationshipBase = QStringLiteral("/relationships/");

// OOXML writes characters XML cannot carry as _xHHHH_; "_x005F_" escapes the underscore
// itself, so "_x005F_x000D_" reads as the literal text "_x000D_".
QString DecodeEscapes(const QString& text)
{
    if (!text.contains(QStringLiteral("_x")))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_') {
            bool ok = false;
            const ushort code = text.mid(i + 2, 4).toUShort(&ok, 16);
            if (ok) {
                out += QChar(code);
                i += 6;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// The text of a string item (<si>, <is>): its own <t> or the <t> of its runs; the
// phonetic guides (<rPh>) are not part of the text.
QString ReadRichText(QXmlStreamReader& xml)
{
    QString text;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"t") {
            text += xml.readElementText();
        } else if (xml.name() == u"r") {
            while (xml.readNextStartElement()) {
                if (xml.name() == u"t")
                    text += xml.readElementText();
                else
                    xml.skipCurrentElement();
            }
        } else {
            xml.skipCurrentElement();
        }
    }
    return DecodeEscapes(text);
}

// "BC12" to column 54 and row 11 (both from 0); false when it is no cell reference.
bool ParseReference(QStringView ref, int& row, int& column)
{
    qsizetype i = 0;
    int col = 0;
    for (; i < ref.size() && ref[i].isLetter(); ++i) {
        const char16_t c = ref[i].toUpper().unicode();
        if (c < u'A' || c > u'Z' || i >= 3)
            return false;
        col = col * 26 + (c - u'A' + 1);
    }
    bool ok = false;
    const int r = ref.mid(i).toInt(&ok);
    if (i == 0 || !ok || r < 1 || r > SheetGrid::MaxRows || col > SheetGrid::MaxColumns)
        return false;
    row = r - 1;
    column = col - 1;
    return true;
}

} // namespace

XlsxReader::XlsxReader(const QString& file) : m_package(file)
{
    QString workbook = m_package.TargetOfType(QString(), QStringLiteral("/officeDocument"));
    if (workbook.isEmpty())
        workbook = QStringLiteral("xl/workbook.xml");
    if (workbook.endsWith(QStringLiteral(".bin"), Qt::CaseInsensitive))
        m_package.Fail(QStringLiteral("binary workbooks (.xlsb) are not supported; save it as .xlsx"));
    if (!m_package.Has(workbook))
        m_package.Fail(QStringLiteral("it is a zip file but not an Excel workbook (no %1)").arg(workbook));
    ReadWorkbook(workbook);
}

void XlsxReader::FailXml(const QString& part, const QXmlStreamReader& xml) const
{
    m_package.Fail(QStringLiteral("the part '%1' is not valid XML (%2, line %3)").arg(part, xml.errorString()).arg(xml.lineNumber()));
}

void XlsxReader::ReadWorkbook(const QString& workbookPart)
{
    QXmlStreamReader xml(m_package.Read(workbookPart));
    QStringList relationIds;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == u"workbookPr") {
            const QStringView v = a.value(QLatin1String("date1904"));
            m_date1904 = m_date1904 || v == u"1" || v.compare(u"true", Qt::CaseInsensitive) == 0;
        } else if (xml.name() == u"sheet") {
            QString id;
            for (const QXmlStreamAttribute& attr : a) {
                if (attr.name() == u"id" && !attr.namespaceUri().isEmpty())
                    id = attr.value().toString();
            }
            m_sheetNames << a.value(QLatin1String("name")).toString();
            relationIds << id;
        }
    }
    if (xml.hasError())
        FailXml(workbookPart, xml);

    const QHash<QString, XlsxPackage::Relationship> rels = m_package.Relationships(workbookPart);
    QStringList names;
    for (qsizetype i = 0; i < m_sheetNames.size(); ++i) {
        const auto it = rels.constFind(relationIds[i]);
        if (it == rels.constEnd())
            m_package.Fail(QStringLiteral("the sheet '%1' has no part").arg(m_sheetNames[i]));
        // Chart sheets, dialog sheets and macro sheets hold no table.
        if (!it->type.endsWith(RelationshipBase + QStringLiteral("worksheet")))
            continue;
        names << m_sheetNames[i];
        m_sheetParts << it->target;
    }
    m_sheetNames = names;

    for (const XlsxPackage::Relationship& r : rels) {
        if (r.type.endsWith(RelationshipBase + QStringLiteral("sharedStrings")) && m_package.Has(r.target))
            ReadSharedStrings(r.target);
        else if (r.type.endsWith(RelationshipBase + QStringLiteral("styles")) && m_package.Has(r.target))
            ReadStyles(r.target);
    }
}

void XlsxReader::ReadSharedStrings(const QString& part)
{
    QXmlStreamReader xml(m_package.Read(part));
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"si")
            m_sharedStrings << ReadRichText(xml);
    }
    if (xml.hasError())
        FailXml(part, xml);
}

void XlsxReader::ReadStyles(const QString& part)
{
    QXmlStreamReader xml(m_package.Read(part));
    QHash<int, QString> codes;
    QVector<int> formatOfStyle;
    bool inCellXfs = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == u"cellXfs")
            inCellXfs = false;
        if (!xml.isStartElement())
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == u"numFmt")
            codes.insert(a.value(QLatin1String("numFmtId")).toInt(), a.value(QLatin1String("formatCode")).toString());
        else if (xml.name() == u"cellXfs")
            inCellXfs = true;
        else if (inCellXfs && xml.name() == u"xf")
            formatOfStyle << a.value(QLatin1String("numFmtId")).toInt();
    }
    if (xml.hasError())
        FailXml(part, xml);
    m_dateStyles.clear();
    for (int id : formatOfStyle)
        m_dateStyles << ExcelNumberFormat::IsDate(id, codes.value(id));
}

SheetGrid XlsxReader::ReadSheet(int index) const
{
    const QString part = m_sheetParts.value(index);
    QXmlStreamReader xml(m_package.Read(part));
    SheetGrid grid;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement() || xml.name() != u"sheetData")
            continue;
        int row = -1;
        while (xml.readNextStartElement()) {
            if (xml.name() != u"row") {
                xml.skipCurrentElement();
                continue;
            }
            const QStringView r = xml.attributes().value(QLatin1String("r"));
            bool ok = true;
            const int next = r.isEmpty() ? row + 1 : r.toInt(&ok) - 1;
            if (!ok || next < 0 || next >= SheetGrid::MaxRows)
                m_package.Fail(QStringLiteral("the part '%1' has a bad row number '%2'").arg(part, r.toString()));
            row = next;
            int column = -1;
            while (xml.readNextStartElement()) {
                if (xml.name() == u"c")
                    ReadCell(xml, part, row, column, grid);
                else
                    xml.skipCurrentElement();
            }
        }
    }
    if (xml.hasError())
        FailXml(part, xml);
    return grid;
}

void XlsxReader::ReadCell(QXmlStreamReader& xml, const QString& part, int row, int& column, SheetGrid& grid) const
{
    const QXmlStreamAttributes a = xml.attributes();
    const QStringView ref = a.value(QLatin1String("r"));
    int cellRow = row;
    if (ref.isEmpty()) {
        // Writers may leave out the reference: the cell then follows the previous one.
        ++column;
        if (column >= SheetGrid::MaxColumns)
            m_package.Fail(QStringLiteral("the part '%1' has a row with too many cells").arg(part));
    } else if (!ParseReference(ref, cellRow, column)) {
        m_package.Fail(QStringLiteral("the part '%1' has a bad cell reference '%2'").arg(part, ref.toString()));
    }
    const QString type = a.value(QLatin1String("t")).toString();
    const int style = a.value(QLatin1String("s")).toInt();
    QString value;
    bool hasValue = false;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"v") {
            value = xml.readElementText();
            hasValue = true;
        } else if (xml.name() == u"is") {
            value = ReadRichText(xml);
            hasValue = true;
        } else {
            xml.skipCurrentElement();
        }
    }
    if (hasValue && !xml.hasError())
        grid.Set(cellRow, column, CellValue(type, style, value, part));
}

QVariant XlsxReader::CellValue(QStringView type, int style, const QString& value, const QString& part) const
{
    if (type == u"s") {
        bool ok = false;
        const int index = value.trimmed().toInt(&ok);
        if (!ok || index < 0 || index >= m_sharedStrings.size())
            m_package.Fail(QStringLiteral("the part '%1' refers to a shared string %2 that does not exist").arg(part, value));
        return m_sharedStrings[index];
    }
    if (type == u"inlineStr")
        return value;
    if (type == u"str")
        return DecodeEscapes(value);
    if (type == u"b")
        return value.trimmed() == u"1" || value.trimmed().compare(u"true", Qt::CaseInsensitive) == 0;
    if (type == u"e")
        return {}; // #N/A, #DIV/0!...: no value, as the error is no data
    if (type == u"d") {
        const QDateTime when = QDateTime::fromString(value.trimmed(), Qt::ISODateWithMs);
        return when.isValid() ? QVariant(QDateTime(when.date(), when.time(), Qt::UTC)) : QVariant(value);
    }
    bool ok = false;
    const double number = value.trimmed().toDouble(&ok);
    if (!ok)
        return value.trimmed().isEmpty() ? QVariant() : QVariant(value);
    if (style >= 0 && style < m_dateStyles.size() && m_dateStyles[style]) {
        const QDateTime when = ExcelDate::FromSerial(number, m_date1904);
        if (when.isValid())
            return when;
    }
    return number;
}

} // namespace ado
