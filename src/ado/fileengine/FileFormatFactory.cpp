#include "ado/fileengine/FileFormatFactory.h"

#include "ado/AdoError.h"
#include "ado/ConnectionString.h"
#include "ado/fileengine/FileEngineBackend.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace ado {

namespace {

QString ExtendedProperties(const ConnectionString& cs)
{
    return cs.Value(QStringLiteral("Extended Properties")).trimmed();
}

void RequireFolder(const QString& folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        throw AdoError(err::Unspecified, QStringLiteral("'%1' is not a valid path. Make sure that the path name is spelled "
                                                        "correctly and that you are connected to the server on which the file resides.")
                                             .arg(folder));
}

void RequireFile(const QString& file)
{
    if (file.isEmpty() || !QFileInfo(file).isFile())
        throw AdoError(err::Unspecified, QStringLiteral("Could not find file '%1'.").arg(file));
}

// Jet's extended properties name the header option HDR; a lone "No" turns it off.
bool FirstRowHasNames(const QString& extended)
{
    for (const QString& part : extended.split(u';')) {
        const QString key = part.section(u'=', 0, 0).trimmed();
        if (key.compare(QStringLiteral("HDR"), Qt::CaseInsensitive) == 0)
            return part.section(u'=', 1).trimmed().compare(QStringLiteral("No"), Qt::CaseInsensitive) != 0;
    }
    return true;
}

// The provider's engine type code for the ISAM that the extended properties name
// ("Dbase IV" 11, "Paradox 5.x" 52, "Excel 8.0" 23, "Text" 60...); 0, the provider's
// "unknown", for a name it has no code for. The Jet engine's own codes (1 to 5) belong to
// Access files, which answer from their header instead.
int JetEngineType(const QString& extendedProperties)
{
    static const QHash<QString, int> Codes = {
        {QStringLiteral("dbase iii"), 10},   {QStringLiteral("dbase iv"), 11},    {QStringLiteral("dbase 5.0"), 12},
        {QStringLiteral("excel 3.0"), 20},   {QStringLiteral("excel 4.0"), 21},   {QStringLiteral("excel 5.0"), 22},
        {QStringLiteral("excel 8.0"), 23},   {QStringLiteral("excel 9.0"), 24},   {QStringLiteral("paradox 3.x"), 50},
        {QStringLiteral("paradox 4.x"), 51}, {QStringLiteral("paradox 5.x"), 52}, {QStringLiteral("paradox 7.x"), 53},
        {QStringLiteral("text"), 60},
    };
    // The ISAM name is the first item; options such as HDR=Yes follow it.
    const QString isam = extendedProperties.section(u';', 0, 0).simplified().toLower();
    return Codes.value(isam, 0);
}

} // namespace

std::unique_ptr<Backend> FileFormatFactory::OpenJet(const QString& provider, const ConnectionString& cs)
{
    const QString source = cs.FirstOf({"Data Source", "DBQ"});
    const QString extended = ExtendedProperties(cs);
    const QString lowerExt = extended.toLower();
    const QString suffix = QFileInfo(source).suffix().toLower();
    std::unique_ptr<FileFormat> format;
    if (lowerExt.startsWith(u"dbase")) {
        RequireFolder(source);
        format = formats::OpenDbfFolder(source, JetEngineType(extended));
    } else if (lowerExt.startsWith(u"paradox")) {
        RequireFolder(source);
        format = formats::OpenParadoxFolder(source, JetEngineType(extended));
    } else if (lowerExt.startsWith(u"text")) {
        RequireFolder(source);
        format = formats::OpenTextFolder(source);
    } else if (lowerExt.startsWith(u"excel") || suffix == u"xls" || suffix == u"xlsx" || suffix == u"xlsm") {
        RequireFile(source);
        format = formats::OpenWorkbook(source, FirstRowHasNames(extended), JetEngineType(extended));
    } else if (suffix == u"mdb" || suffix == u"accdb" || extended.isEmpty()) {
        RequireFile(source);
        format = formats::OpenAccessFile(source);
    } else {
        throw AdoError(err::Unspecified, QStringLiteral("Could not find installable ISAM. (%1)").arg(extended));
    }
    return std::make_unique<FileEngineBackend>(provider, std::move(format));
}

std::unique_ptr<Backend> FileFormatFactory::OpenAdvantage(const ConnectionString& cs)
{
    const QString source = cs.Value(QStringLiteral("Data Source"));
    const QString server = cs.Value(QStringLiteral("Advantage Server Type")).toUpper();
    const QString table = cs.Value(QStringLiteral("Advantage Table Type")).toUpper();
    if (server.contains(u"REMOTE"))
        throw AdoError(err::Unspecified, QStringLiteral("The Advantage remote server is not available here: only DBF tables of a "
                                                        "folder can be opened, with the local server (ADS_CDX or ADS_NTX)."));
    if (QFileInfo(source).suffix().compare(QStringLiteral("add"), Qt::CaseInsensitive) == 0)
        throw AdoError(err::Unspecified, QStringLiteral("Advantage data dictionaries (.add) are not available here: open the folder "
                                                        "of the DBF tables with table type ADS_CDX or ADS_NTX instead."));
    if (table == u"ADS_ADT" || table.isEmpty() && !server.isEmpty())
        throw AdoError(err::Unspecified, QStringLiteral("Advantage ADT tables are not available here: only DBF tables "
                                                        "(ADS_CDX or ADS_NTX) can be opened."));
    RequireFolder(source);
    // User ID and Password are accepted: free tables have no rights to check.
    return std::make_unique<FileEngineBackend>(QStringLiteral("Advantage OLE DB Provider"), formats::OpenDbfFolder(source));
}

} // namespace ado
