#include "ado/fileengine/paradox/ParadoxFolderFormat.h"

#include "ado/AdoError.h"
#include "ado/fileengine/FileFormatFactory.h"
#include "ado/fileengine/paradox/ParadoxTable.h"

#include <QDir>
#include <QFileInfo>

namespace ado {

ParadoxFolderFormat::ParadoxFolderFormat(const QString& folder, int engineType)
    : m_folder(folder), m_engineType(engineType)
{
    const QDir dir(folder);
    const QStringList files = dir.entryList({QStringLiteral("*.db")}, QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    for (const QString& file : files)
        m_files.insert(QFileInfo(file).completeBaseName(), file);
}

QList<TableInfo> ParadoxFolderFormat::Tables()
{
    QList<TableInfo> tables;
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it)
        tables.append({it.key(), QStringLiteral("TABLE")});
    return tables;
}

QStringList ParadoxFolderFormat::Aliases(const QString& table) const
{
    const QString file = m_files.value(table);
    return file.isEmpty() ? QStringList() : QStringList{file};
}

std::unique_ptr<FileTable> ParadoxFolderFormat::OpenTable(const QString& table)
{
    QString file = m_files.value(table);
    for (auto it = m_files.cbegin(); file.isEmpty() && it != m_files.cend(); ++it) {
        if (it.key().compare(table, Qt::CaseInsensitive) == 0)
            file = it.value();
    }
    if (file.isEmpty())
        throw AdoError(err::TableNotFound, QStringLiteral("The Microsoft Jet database engine could not find the object '%1'.").arg(table));
    return std::make_unique<ParadoxTable>(QDir(m_folder).filePath(file));
}

QVariant ParadoxFolderFormat::Property(const QString& name) const
{
    if (name.compare(QStringLiteral("Jet OLEDB:Engine Type"), Qt::CaseInsensitive) == 0)
        return m_engineType;
    return {};
}

namespace formats {

std::unique_ptr<FileFormat> OpenParadoxFolder(const QString& folder, int engineType)
{
    return std::make_unique<ParadoxFolderFormat>(folder, engineType);
}

} // namespace formats

} // namespace ado
