#pragma once

#include <QString>
#include <QStringList>

// What the program is given on its command line: at most one database to open instead of
// asking for one, as a file path or a connection string.
class CommandLine {
public:
    // The file types of a delimited text file, by the separator named with --delimiter.
    static constexpr qint16 TabText = 12, CommaText = 13, SemicolonText = 14;

    // Reads the arguments; --help and --version print and end the process as usual.
    // A wrong option or delimiter prints the reason and ends it with status 1.
    static CommandLine Parse(const QStringList& arguments);

    // The database named on the command line, empty when none.
    const QString& Source() const { return m_source; }
    qint16 TextFileType() const { return m_textFileType; }

    // The chooser's file type for a file by its extension (a .dbf stands for its folder of
    // tables); 0 when no type opens it.
    static qint16 FileTypeFor(const QString& path, qint16 textFileType = CommaText);
    // The connection string that opens source: a file as the chooser's "(Fichier...)"
    // entry builds it, anything else as a typed connection string. Throws 53 for a path
    // that names no file and 5 for a file of no known type.
    static QString ConnectionStringFor(const QString& source, qint16 textFileType = CommaText);

private:
    QString m_source;
    qint16 m_textFileType = CommaText;
};
