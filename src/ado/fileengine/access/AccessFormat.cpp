#include "ado/fileengine/access/AccessFormat.h"

#include "ado/fileengine/FileFormatFactory.h"
#include "ado/fileengine/access/AccessTable.h"
#include "ado/fileengine/access/MdbDatabase.h"

namespace ado {

AccessFormat::AccessFormat(const QString& file)
    : m_database(std::make_shared<const MdbDatabase>(file))
{
}

QList<TableInfo> AccessFormat::Tables()
{
    QList<TableInfo> tables;
    for (const MdbDatabase::Table& t : m_database->Tables())
        tables.append({t.name, t.system ? QStringLiteral("SYSTEM TABLE") : QStringLiteral("TABLE")});
    return tables;
}

std::unique_ptr<FileTable> AccessFormat::OpenTable(const QString& table)
{
    return std::make_unique<AccessTable>(m_database, table);
}

QVariant AccessFormat::Property(const QString& name) const
{
    if (name.compare(QStringLiteral("Jet OLEDB:Engine Type"), Qt::CaseInsensitive) == 0)
        return m_database->EngineType();
    return {};
}

namespace formats {

std::unique_ptr<FileFormat> OpenAccessFile(const QString& file)
{
    return std::make_unique<AccessFormat>(file);
}

} // namespace formats

} // namespace ado
