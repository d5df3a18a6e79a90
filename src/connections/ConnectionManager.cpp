#include "connections/ConnectionManager.h"

#include "ado/AdoError.h"
#include "ado/ConnectionString.h"
#include "connections/FileOpenDialog.h"
#include "connections/MConnections.h"
#include "connections/TextSchema.h"

#include <QFileInfo>

#include <array>

namespace {

struct FileTypeEntry {
    const char16_t* description;
    const char16_t* patterns;
};

// In FileType order: saved FileType values depend on it, so new types go at the end.
constexpr std::array<FileTypeEntry, ConnectionManager::FileTypeCount> FileTypes = {{
    {u"Base de données Access (*.mdb)", u"*.mdb"},
    {u"Fichiers dBase (*.dbf)", u"*.dbf"},
    {u"Fichiers Advantage ADS_ADT (*.adt;*.add)", u"*.adt;*.add"},
    {u"Fichiers Advantage ADS_CDX (*.dbf;*.add)", u"*.dbf;*.add"},
    {u"Fichiers Advantage ADS_NTX (*.dbf;*.add)", u"*.dbf;*.add"},
    {u"Advantage Server ADS_ADT (*.adt;*.add)", u"*.adt;*.add"},
    {u"Advantage Server ADS_CDX (*.dbf;*.add)", u"*.dbf;*.add"},
    {u"Advantage Server ADS_NTX (*.dbf;*.add)", u"*.dbf;*.add"},
    {u"Fichiers Paradox (*.db)", u"*.db"},
    {u"Classeur Excel (*.xlsx)", u"*.xlsx"},
    {u"Classeur Excel 97-2003 (*.xls)", u"*.xls"},
    {u"Fichiers Texte (séparateur : tabulation) (*.txt; *.csv; *.prn)", u"*.txt;*.csv;*.prn"},
    {u"Fichiers Texte (séparateur : virgule) (*.txt; *.csv; *.prn)", u"*.txt;*.csv;*.prn"},
    {u"Fichiers Texte (séparateur : point-virgule) (*.txt; *.csv; *.prn)", u"*.txt;*.csv;*.prn"},
    {u"Base de données SQLite (*.sqlite;*.sqlite3;*.db3)", u"*.sqlite;*.sqlite3;*.db3"},
}};

// Common dialog options: hide read-only box, path and file must exist, share-aware,
// explorer style, long names.
constexpr unsigned OpenFlags = FileOpenDialog::HideReadOnly | FileOpenDialog::PathMustExist
    | FileOpenDialog::FileMustExist | FileOpenDialog::ShareAware | FileOpenDialog::Explorer
    | FileOpenDialog::LongNames;
static_assert(OpenFlags == 0x285804);

const QString Jet = QStringLiteral("Microsoft.Jet.OLEDB.4.0");
const QString Ace = QStringLiteral("Microsoft.ACE.OLEDB.12.0");
// A path goes in as it is unless it holds what would end its pair early: a folder named
// "a;Extended Properties=Text" must not add a pair of its own.
QString Value(const QString& path)
{
    return ado::ConnectionString::QuoteValue(path);
}

const QString ExcelProperties = QStringLiteral("Extended properties=\"Excel 8.0;HRD=Yes\";OLE DB Services=-2;");

} // namespace

QString ConnectionManager::Filter()
{
    QStringList parts;
    for (const FileTypeEntry& entry : FileTypes)
        parts << QString::fromUtf16(entry.description) << QString::fromUtf16(entry.patterns);
    return parts.join(u'|');
}

QString ConnectionManager::GetCnxStringFromFile(FileOpenDialog* cdb, bool lIsMain)
{
    if (!cdb)
        throw ado::AdoError(ado::err::ObjectClosed, QStringLiteral("No file dialog to browse with"));
    cdb->DialogTitle = QStringLiteral("Parcourir");
    cdb->Filter = Filter();
    if (!Directory.isEmpty())
        cdb->InitDir = Directory;
    cdb->FileName.clear();
    cdb->FilterIndex = FileType;
    cdb->Flags = OpenFlags;
    cdb->ShowOpen();

    const QString path = cdb->FileName;
    if (path.isEmpty())
        return {};

    const QFileInfo info(path);
    const QString folder = info.path();
    const QString ext = TextSchema::Extension(info.fileName());
    Directory = folder;
    FileType = static_cast<qint16>(cdb->FilterIndex);
    m_tableName = info.fileName();
    return BuildString(FileType, path, folder, ext, lIsMain);
}

QString ConnectionManager::BuildString(qint16 fileType, const QString& path, const QString& folder,
                                       const QString& ext, bool lIsMain)
{
    switch (fileType) {
    case 1:
        return QStringLiteral("Provider=") + Jet + QStringLiteral(";Data Source = ") + Value(path) + u';';
    case 2:
        return QStringLiteral("Provider=") + Jet + QStringLiteral(";Data Source=") + Value(folder)
            + QStringLiteral(";Extended Properties = Dbase IV;");
    case 3: case 4: case 5: case 6: case 7: case 8:
        return AdvantageString(fileType, path, folder, ext);
    case 9:
        return QStringLiteral("Provider=") + Jet + QStringLiteral(";Data Source=") + Value(folder)
            + QStringLiteral(";Extended Properties = Paradox 5.x;");
    case 10:
        return QStringLiteral("Provider=") + Ace + QStringLiteral(";Data Source=") + Value(path) + u';' + ExcelProperties;
    case 11:
        return QStringLiteral("Provider=") + Jet + QStringLiteral(";Data Source=") + Value(path) + u';' + ExcelProperties;
    case 12: case 13: case 14: {
        // Schema.ini can only name the copies the code page holds; refusing here is clearer
        // than opening a folder in which the chosen file is missing.
        const QString name = QFileInfo(path).fileName();
        if (!TextSchema::CanDescribe(name))
            throw ado::AdoError(52, QStringLiteral("Bad file name: '%1' cannot be written in Schema.ini (code page %2)")
                                        .arg(name, QLatin1StringView(TextSchema::CodePage)));
        const QString work = TextSchema::PrepareTextFolder(folder, ext, static_cast<qint16>(fileType - 12), lIsMain);
        return QStringLiteral("Provider=") + Jet + QStringLiteral(";Data Source=") + Value(work)
            + QStringLiteral(";Extended Properties=\"Text\";OLE DB Services=-2;");
    }
    case 15:
        return QStringLiteral("Provider=SQLite;Data Source=") + Value(path) + u';';
    default:
        throw ado::AdoError(5, QStringLiteral("Invalid procedure call or argument: file type %1").arg(fileType));
    }
}

QString ConnectionManager::AdvantageString(qint16 fileType, const QString& path, const QString& folder,
                                           const QString& ext)
{
    static const QString TableTypes[] = {QStringLiteral("ADS_ADT"), QStringLiteral("ADS_CDX"), QStringLiteral("ADS_NTX")};
    const QString tableType = TableTypes[(fileType - 3) % 3];
    const QString serverType = fileType <= 5 ? QStringLiteral("ADS_LOCAL_SERVER") : QStringLiteral("ADS_REMOTE_SERVER");
    // A data dictionary is opened itself; any other file stands for its folder of free tables.
    const QString source = ext.compare(QStringLiteral("add"), Qt::CaseInsensitive) == 0 ? path : folder;
    const QStringList lines = {
        QStringLiteral("Provider=Advantage OLE DB Provider;"),
        QStringLiteral("Data Source=") + Value(source) + u';',
        MConnections::LoginMarker + QStringLiteral("Advantage Table Type=") + tableType + u';',
        QStringLiteral("Advantage Server Type=") + serverType + u';',
        QStringLiteral("SecurityMode=ADS_IGNORERIGHTS;"),
        QStringLiteral("TrimTrailingSpaces=TRUE;"),
        QStringLiteral("OLE DB Services=-2"),
    };
    return lines.join(u'\n');
}
