#include "ado/fileengine/dbase/DbfFolderFormat.h"

#include "ado/AdoError.h"
#include "ado/fileengine/FileFormatFactory.h"
#include "ado/fileengine/dbase/DbfTable.h"

#include <QDir>
#include <QFileInfo>

namespace ado {

DbfFolderFormat::DbfFolderFormat(const QString& folder, std::optional<int> engineType)
    : m_folder(folder), m_engineType(engineType)
{
    const QDir dir(folder);
    if (!dir.exists())
        throw AdoError(err::PathNotFound, QStringLiteral("The folder '%1' does not exist.").arg(folder));
    const QFileInfoList entries = dir.entryInfoList(QDir::Files, QDir::Name);
    QStringList lower;
    for (const QFileInfo& entry : entries) {
        if (entry.suffix().compare(QStringLiteral("dbf"), Qt::CaseInsensitive) != 0)
            continue;
        const QString table = entry.completeBaseName();
        // Two files differing only in case would be one SQL name: the first one wins.
        if (table.isEmpty() || lower.contains(table.toLower()))
            continue;
        lower.append(table.toLower());
        m_files.insert(table, entry.fileName());
    }
}

QList<TableInfo> DbfFolderFormat::Tables()
{
    QList<TableInfo> tables;
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it)
        tables.append({it.key(), QStringLiteral("TABLE")});
    return tables;
}

QStringList DbfFolderFormat::Aliases(const QString& table) const
{
    const QString file = m_files.value(table);
    return file.isEmpty() ? QStringList() : QStringList{file};
}

std::unique_ptr<FileTable> DbfFolderFormat::OpenTable(const QString& table)
{
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it) {
        if (it.key().compare(table, Qt::CaseInsensitive) == 0)
            return std::make_unique<DbfTable>(QDir(m_folder).filePath(it.value()));
    }
    throw AdoError(err::TableNotFound, QStringLiteral("The Microsoft Jet database engine could not find the object '%1'.").arg(table));
}

QVariant DbfFolderFormat::Property(const QString& name) const
{
    if (m_engineType && name.compare(QStringLiteral("Jet OLEDB:Engine Type"), Qt::CaseInsensitive) == 0)
        return *m_engineType;
    return {};
}

namespace formats {

std::unique_ptr<FileFormat> OpenDbfFolder(const QString& folder, std::optional<int> engineType)
{
    return std::make_unique<DbfFolderFormat>(folder, engineType);
}

} // namespace formats

} // namespace ado
