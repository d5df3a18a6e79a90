#pragma once

#include <QString>
#include <QtGlobal>

class FileOpenDialog;

// Turns a file chosen by the user into a connection string; lives for one browse. The
// caller primes Directory and FileType with what it saved last time and reads them back.
class ConnectionManager {
public:
    QString Directory;
    qint16 FileType = 0;

    // File name of the file last chosen, without its folder.
    const QString& TableName() const { return m_tableName; }

    // Shows the file dialog cdb and builds the connection string of the chosen file;
    // empty when the user cancels, the three values then unchanged. lIsMain: for the main
    // database (else for an import); it picks the working folder of the text types.
    QString GetCnxStringFromFile(FileOpenDialog* cdb, bool lIsMain);

    // The dialog's filter: description "|" patterns for each file type, in FileType order.
    static QString Filter();

    // FileType runs from 1 to this; the last one, SQLite, is this platform's own.
    static constexpr qint16 FileTypeCount = 15;

    // The string of a file of that type, as a browse that chose it builds it (text types
    // prepare their working folder first); also for files named on the command line.
    static QString BuildString(qint16 fileType, const QString& path, const QString& folder, const QString& ext,
                               bool lIsMain);

private:
    static QString AdvantageString(qint16 fileType, const QString& path, const QString& folder, const QString& ext);

    QString m_tableName;
};
