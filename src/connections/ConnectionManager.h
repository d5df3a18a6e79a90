#pragma once

#include <QString>
#include <QtGlobal>

class FileOpenDialog;

// Turns a file chosen by the user into a connection string; lives for one browse.
class ConnectionManager {
public:
    QString Directory;
    qint16 FileType = 1;
    QString TableName;

    // Shows the file dialog cdb and builds the connection string of the chosen file;
    // empty when the user cancels. lIsMain: for the main database (else for an import).
    QString GetCnxStringFromFile(FileOpenDialog* cdb, bool lIsMain);
};
