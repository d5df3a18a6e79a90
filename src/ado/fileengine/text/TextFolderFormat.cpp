#include "ado/fileengine/text/TextFolderFormat.h"

#include "ado/AdoError.h"
#include "ado/fileengine/FileFormatFactory.h"
#include "ado/fileengine/text/TextTable.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>

namespace ado {

namespace {

bool HasDefaultExtension(const QString& fileName)
{
    static const QStringList extensions = {QStringLiteral("txt"), QStringLiteral("csv"), QStringLiteral("tab"),
                                           QStringLiteral("asc"), QStringLiteral("prn")};
    return extensions.contains(QFileInfo(fileName).suffix(), Qt::CaseInsensitive);
}

} // namespace

TextFolderFormat::TextFolderFormat(QString folder) : m_folder(std::move(folder)), m_schema(SchemaIni::Load(m_folder))
{
}

QStringList TextFolderFormat::FileNames() const
{
    QStringList names;
    const QStringList entries = QDir(m_folder).entryList(QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : entries) {
        if (name.compare(QStringLiteral("Schema.ini"), Qt::CaseInsensitive) == 0)
            continue;
        if (HasDefaultExtension(name) || m_schema.HasSection(name))
            names << name;
    }
    return names;
}

QList<TableInfo> TextFolderFormat::Tables()
{
    QList<TableInfo> tables;
    for (const QString& name : FileNames())
        tables.append({name, QStringLiteral("TABLE")});
    return tables;
}

QStringList TextFolderFormat::Aliases(const QString& table) const
{
    const qsizetype dot = table.lastIndexOf(u'.');
    if (dot <= 0)
        return {};
    // The name itself too, so that an unbracketed clients.csv is not read as schema.table.
    return {table, table.left(dot) + u'#' + table.mid(dot + 1)};
}

QString TextFolderFormat::FindFile(const QString& table) const
{
    const QStringList names = FileNames();
    QString wanted = table;
    if (!names.contains(wanted) && !wanted.contains(u'.')) {
        const qsizetype hash = wanted.lastIndexOf(u'#');
        if (hash > 0)
            wanted[hash] = u'.';
    }
    if (names.contains(wanted))
        return wanted;
    for (const QString& name : names)
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            return name;
    return {};
}

std::unique_ptr<FileTable> TextFolderFormat::OpenTable(const QString& table)
{
    const QString name = FindFile(table);
    if (name.isEmpty())
        throw AdoError(err::TableNotFound, QStringLiteral("The Microsoft Jet database engine could not find the object '%1'. "
                                                          "Make sure the object exists and that you spell its name and the "
                                                          "path name correctly.")
                                               .arg(table));
    try {
        return std::make_unique<TextTable>(QDir(m_folder).filePath(name), m_schema.LayoutFor(name));
    } catch (const AdoError& e) {
        if (e.Description().contains(name))
            throw;
        throw AdoError(e.Number(), QStringLiteral("The text file '%1' cannot be read: %2").arg(name, e.Description()));
    }
}

QVariant TextFolderFormat::Property(const QString& name) const
{
    // The text ISAM has one engine type, whatever the files' delimiters.
    if (name.compare(QStringLiteral("Jet OLEDB:Engine Type"), Qt::CaseInsensitive) == 0)
        return 60;
    return {};
}

namespace formats {

std::unique_ptr<FileFormat> OpenTextFolder(const QString& folder)
{
    return std::make_unique<TextFolderFormat>(folder);
}

} // namespace formats

} // namespace ado
