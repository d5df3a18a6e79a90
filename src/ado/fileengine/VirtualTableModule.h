#pragma once

#include <QHash>
#include <QString>
#include <optional>

struct sqlite3;

namespace ado {

class AdoError;
class FileFormat;
class FileTable;

// The SQLite module "dabrix_file": every virtual table of it is one table of a
// FileFormat, read and written through FileTable.
//
// xBestIndex uses no constraint: each statement scans the file once (idxNum is always 0).
// xUpdate: argc == 1 deletes argv[0]; argv[0] NULL inserts; otherwise updates argv[0]
// (a change of rowid is refused).
// xBegin, xSync, xCommit, xRollback and the savepoint methods pass SQLite's transactions
// to the tables that can undo (FileTable::CanUndo); each statement is one transaction, or
// a savepoint inside the connection's.
class VirtualTableModule {
public:
    // The tables SQLite has connected, by lower-case name; an entry lasts as long as its
    // virtual table.
    using OpenTables = QHash<QString, FileTable*>;

    // Registers the module on the connection; the format and openTables must outlive it.
    static void Register(sqlite3* db, FileFormat* format, std::optional<AdoError>* lastError,
                         OpenTables* openTables = nullptr);
    static const char* Name() { return "dabrix_file"; }
};

} // namespace ado
