#include "ado/fileengine/excel/WorkbookFormat.h"

#include "ado/AdoError.h"
#include "ado/fileengine/FileFormatFactory.h"
#include "ado/fileengine/excel/SheetTable.h"
#include "ado/fileengine/excel/XlsReader.h"
#include "ado/fileengine/excel/XlsxReader.h"

#include <QFile>

namespace ado {

WorkbookFormat::WorkbookFormat(std::unique_ptr<WorkbookReader> reader, bool firstRowHasNames, int engineType)
    : m_reader(std::move(reader)), m_firstRowHasNames(firstRowHasNames), m_engineType(engineType)
{
}

std::unique_ptr<WorkbookFormat> WorkbookFormat::Open(const QString& file, bool firstRowHasNames, int engineType)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        throw AdoError(err::Unspecified, QStringLiteral("Could not open the workbook '%1': %2").arg(file, f.errorString()));
    const QByteArray magic = f.read(8);
    f.close();
    std::unique_ptr<WorkbookReader> reader;
    if (magic.startsWith("PK"))
        reader = std::make_unique<XlsxReader>(file);
    else if (magic == QByteArray::fromHex("D0CF11E0A1B11AE1"))
        reader = std::make_unique<XlsReader>(file);
    else
        throw AdoError(err::Unspecified, QStringLiteral("The workbook '%1' cannot be read: it is neither an .xlsx workbook "
                                                        "(a zip package) nor an Excel 97-2003 .xls file.")
                                             .arg(file));
    return std::make_unique<WorkbookFormat>(std::move(reader), firstRowHasNames, engineType);
}

QList<TableInfo> WorkbookFormat::Tables()
{
    QList<TableInfo> tables;
    for (const QString& sheet : m_reader->SheetNames())
        tables << TableInfo{sheet + u'$', QStringLiteral("TABLE")};
    return tables;
}

QStringList WorkbookFormat::Aliases(const QString& table) const
{
    // Jet lists a sheet whose name needs quoting as 'My data$' and accepts that form.
    return {u'\'' + table + u'\''};
}

std::unique_ptr<FileTable> WorkbookFormat::OpenTable(const QString& table)
{
    const QStringList sheets = m_reader->SheetNames();
    for (int i = 0; i < sheets.size(); ++i) {
        if ((sheets[i] + u'$').compare(table, Qt::CaseInsensitive) != 0)
            continue;
        try {
            return std::make_unique<SheetTable>(table, SheetLayout(m_reader->ReadSheet(i), m_firstRowHasNames));
        } catch (const AdoError& e) {
            throw AdoError(e.Number(), QStringLiteral("The worksheet '%1' cannot be read. %2").arg(table, e.Description()));
        }
    }
    throw AdoError(err::TableNotFound, QStringLiteral("The Microsoft Jet database engine could not find the object '%1'.").arg(table));
}

QVariant WorkbookFormat::Property(const QString& name) const
{
    if (name.compare(QStringLiteral("Jet OLEDB:Engine Type"), Qt::CaseInsensitive) == 0)
        return m_engineType;
    return {};
}

namespace formats {

std::unique_ptr<FileFormat> OpenWorkbook(const QString& file, bool firstRowHasNames, int engineType)
{
    return WorkbookFormat::Open(file, firstRowHasNames, engineType);
}

} // namespace formats

} // namespace ado
