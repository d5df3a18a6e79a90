#pragma once

#include "ado/RowCursor.h"
#include "ado/fileengine/SqliteValueSink.h"
#include "ado/fileengine/VirtualTableModule.h"
#include "ado/providers/SqliteValueStorer.h"

#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace ado {

class FileTableCursor;

// The rows of a plain scan of one file table: "SELECT *" or a list of its columns (the
// row id among them) from that table alone, with nothing after but a LIMIT. SQLite prepares the
// statement, so that it checks it and names and types the columns as for any other, but
// the rows come from the table's reader without passing through SQLite's virtual table:
// each value is the one the virtual table would give (SqliteStorageSink), stored as
// SqliteCursor stores it. A table window reads its whole table this way.
class FileScanCursor : public RowCursor {
public:
    // The cursor on its first row, or null when sql is not such a scan or SQLite does not
    // take it; SQLite then runs it. Throws AdoError when the table cannot be read.
    static std::unique_ptr<FileScanCursor> TryOpen(sqlite3* db, const VirtualTableModule::OpenTables& tables,
                                                   const QString& sql);
    ~FileScanCursor() override;
    FileScanCursor(const FileScanCursor&) = delete;
    FileScanCursor& operator=(const FileScanCursor&) = delete;

    const QVector<ColumnInfo>& Columns() const override { return m_columns; }
    bool Next(QVector<QVariant>& row) override { return Read(row, nullptr); }
    bool NextRaw(QVector<QVariant>& row, QVector<QVariant>& raw) override { return Read(row, &raw); }
    bool AppendTo(RecordStore& store) override;

private:
    FileScanCursor(sqlite3_stmt* stmt, FileTable& table, std::vector<int> sources, qint64 limit, const QString& sql);
    bool Read(QVector<QVariant>& row, QVector<QVariant>* raw);
    // Moves to the next row and reads its values; false after the last.
    bool Step();
    void ReadRow();
    [[noreturn]] void Fail(const std::exception& e);
    void Finish();

    // Prepared and never stepped: it holds the virtual table, and so the table, while
    // the rows are read.
    sqlite3_stmt* m_stmt;
    QString m_sql;
    QVector<ColumnInfo> m_columns;
    SqliteValueStorer m_storer;
    std::vector<int> m_sources; // the table column of each result column, -1 for the row id
    std::unique_ptr<FileTableCursor> m_rows;
    bool m_pending = false; // a row read and not yet handed out
    std::vector<SqliteValueSink> m_sinks; // the current row's values, one per result column
    qint64 m_left;                        // rows the LIMIT still allows; -1 without one
};

} // namespace ado
