#include "app/CommandLine.h"

#include "ado/AdoError.h"
#include "connections/ConnectionManager.h"
#include "connections/TextSchema.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Refuse(const QString& why)
{
    std::fprintf(stderr, "%s\n", qPrintable(why));
    std::exit(1);
}

// A connection string has pairs; a path has none, or is a file whatever its name.
bool LooksLikeConnectionString(const QString& source)
{
    return source.contains(u'=') && !QFileInfo::exists(source);
}

} // namespace

CommandLine CommandLine::Parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Maintenance des tables de bases de données SQL et de fichiers de tables.\n"
        "Sans argument, le choix de la base de données s'ouvre."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption delimiter(
        {QStringLiteral("d"), QStringLiteral("delimiter")},
        QStringLiteral("Séparateur d'un fichier texte : tab, comma ou semicolon (comma par défaut)."),
        QStringLiteral("séparateur"), QStringLiteral("comma"));
    parser.addOption(delimiter);
    parser.addPositionalArgument(
        QStringLiteral("source"),
        QStringLiteral("Fichier à ouvrir (.mdb, .accdb, .dbf, .db, .xls, .xlsx, .csv, .txt, .prn, .sqlite, .sqlite3, "
                       ".db3) ou chaîne de connexion."),
        QStringLiteral("[source]"));
    if (!parser.parse(arguments))
        Refuse(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    CommandLine line;
    const QString separator = parser.value(delimiter).toLower();
    if (separator == u"tab")
        line.m_textFileType = TabText;
    else if (separator == u"comma")
        line.m_textFileType = CommaText;
    else if (separator == u"semicolon")
        line.m_textFileType = SemicolonText;
    else
        Refuse(QStringLiteral("Séparateur inconnu : %1 (tab, comma ou semicolon)").arg(separator));
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        Refuse(QStringLiteral("Une seule base de données à la fois : %1").arg(positional.join(u' ')));
    line.m_source = positional.value(0);
    return line;
}

qint16 CommandLine::FileTypeFor(const QString& path, qint16 textFileType)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == u"mdb" || ext == u"accdb")
        return 1;
    if (ext == u"dbf")
        return 2;
    if (ext == u"adt" || ext == u"add")
        return 3;
    if (ext == u"db")
        return 9;
    if (ext == u"xlsx")
        return 10;
    if (ext == u"xls")
        return 11;
    if (ext == u"csv" || ext == u"txt" || ext == u"prn" || ext == u"tab" || ext == u"tsv")
        return ext == u"tab" || ext == u"tsv" ? TabText : textFileType;
    if (ext == u"sqlite" || ext == u"sqlite3" || ext == u"db3")
        return 15;
    return 0;
}

QString CommandLine::ConnectionStringFor(const QString& source, qint16 textFileType)
{
    if (LooksLikeConnectionString(source))
        return source;
    const QFileInfo file(source);
    if (file.isDir()) {
        // A folder of tables: dBase first, as the chooser lists it first.
        const QDir folder(file.absoluteFilePath());
        for (const qint16 type : {qint16(2), qint16(9)}) {
            const QString pattern = type == 2 ? QStringLiteral("*.dbf") : QStringLiteral("*.db");
            if (!folder.entryList({pattern}, QDir::Files).isEmpty())
                return ConnectionManager::BuildString(type, folder.path(), folder.path(), QString(), true);
        }
        throw ado::AdoError(5, QStringLiteral("No dBase or Paradox table in the folder '%1'").arg(source));
    }
    if (!file.isFile())
        throw ado::AdoError(53, QStringLiteral("File not found: '%1'").arg(source));
    const qint16 type = FileTypeFor(source, textFileType);
    if (type == 0)
        throw ado::AdoError(5, QStringLiteral("No file type opens '%1'").arg(file.fileName()));
    const QString path = file.absoluteFilePath();
    return ConnectionManager::BuildString(type, path, file.absolutePath(), TextSchema::Extension(file.fileName()), true);
}
