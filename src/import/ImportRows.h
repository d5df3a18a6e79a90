#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace ado {
class Connection;
class Recordset;
}

// Appends every row of a table of another file to a table of the open database: columns
// matched by exact name, each value converted to its target column's kind. All rows are
// stored in one transaction with a savepoint per row where the database has them; a row
// that fails is not stored, the rows before it are, and the failure goes to the caller.
class ImportRows {
public:
    // The source's rows and the connection of its own they were read through.
    struct Source {
        std::unique_ptr<ado::Connection> connection;
        std::unique_ptr<ado::Recordset> rows;
        Source();
        Source(Source&&) noexcept;
        Source& operator=(Source&&) noexcept;
        ~Source();
    };

    // Called now and then while the source is read and while its rows are stored, with
    // the rows stored so far and the rows read; it lets the event loop run, which reads
    // the source. It may throw to stop the import: the rows stored so far stay.
    using Progress = std::function<void(qint64 stored, qint64 read)>;

    // All rows of the table, read only, through a new connection opened from the string;
    // in the background, through the event loop, when `inBackground`.
    static Source GetSourceRecordset(const QString& connectionString, const QString& table, bool inBackground = false);
    // The target's columns and no rows, on the shared connection, opened the way the
    // provider flags call for.
    static std::unique_ptr<ado::Recordset> GetTargetRecordset(ado::Connection& cnx, const QString& table, bool isJet4,
                                                              bool isHfsql);
    // Whether the recordset has a field of exactly that name (letter case counts).
    static bool FieldExists(const QString& name, const ado::Recordset& rs);

    // Runs the import; returns the number of rows stored.
    static qint64 Run(const QString& sourceConnection, const QString& sourceTable, ado::Connection& target,
                      const QString& targetTable, bool isJet4, bool isHfsql, const Progress& progress);
};
