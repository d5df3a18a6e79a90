#pragma once

#include "ado/AdoError.h"
#include "ado/fileengine/FileTable.h"

#include <QList>
#include <optional>

namespace ado {

// Reads an Access file through libmdb in a child process: a damaged file can make
// libmdb crash, loop or allocate without bound, and the program must outlive that. The
// program itself never calls libmdb on a file; it keeps what these reads return.
class AccessReader {
public:
    struct Table {
        QString name;
        bool system = false;
        QVector<FileColumn> columns;
        // Why the table cannot be opened, when its definition cannot be read.
        std::optional<AdoError> failure;
    };
    struct Catalogue {
        int engineType = 0; // Jet OLEDB:Engine Type: 4 for Jet 3, 5 for Jet 4, 6 for ACE
        QList<Table> tables;
    };
    struct Rows {
        QVector<QVector<QVariant>> values; // by the table's columns; null is an invalid QVariant
        // Why the table ends early: libmdb stopped at a page it cannot read.
        std::optional<AdoError> failure;
    };

    // Every table of the file with its columns. Throws AdoError naming the file when it
    // is not an Access database, is damaged, or its reading fails.
    static Catalogue ReadCatalogue(const QString& file);
    // All the rows of one table. Throws AdoError naming the table and the file when the
    // reading fails; a damaged page of the table is Rows::failure instead.
    static Rows ReadRows(const QString& file, const QString& table);

    static AdoError TableNotFound(const QString& table);
};

} // namespace ado
