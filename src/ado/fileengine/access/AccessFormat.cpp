#include "ado/fileengine/access/AccessFormat.h"

#include "ado/fileengine/FileFormatFactory.h"
#include "ado/fileengine/access/AccessTable.h"

namespace ado {

AccessFormat::AccessFormat(const QString& file)
    : m_file(file), m_catalogue(AccessReader::ReadCatalogue(file))
{
}

QList<TableInfo> AccessFormat::Tables()
{
    QList<TableInfo> tables;
    for (const AccessReader::Table& t : m_catalogue.tables)
        tables.append({t.name, t.system ? QStringLiteral("SYSTEM TABLE") : QStringLiteral("TABLE")});
    return tables;
}

std::unique_ptr<FileTable> AccessFormat::OpenTable(const QString& table)
{
    for (const AccessReader::Table& t : m_catalogue.tables) {
        if (t.name != table)
            continue;
        if (t.failure)
            throw *t.failure;
        return std::make_unique<AccessTable>(m_file, t.name, t.columns);
    }
    throw AccessReader::TableNotFound(table);
}

QVariant AccessFormat::Property(const QString& name) const
{
    if (name.compare(QStringLiteral("Jet OLEDB:Engine Type"), Qt::CaseInsensitive) == 0)
        return m_catalogue.engineType;
    return {};
}

namespace formats {

std::unique_ptr<FileFormat> OpenAccessFile(const QString& file)
{
    return std::make_unique<AccessFormat>(file);
}

} // namespace formats

} // namespace ado
