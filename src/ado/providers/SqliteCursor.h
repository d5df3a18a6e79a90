#pragma once

#include "ado/RowCursor.h"
#include "ado/providers/SqliteValueStorer.h"

#include <optional>


struct sqlite3;
struct sqlite3_stmt;

namespace ado {

// Rows of a SQLite statement read straight from the C API: a big table is read a million
// values at a time, and QSqlQuery's extra copies cost twice the reading itself.
class SqliteCursor : public RowCursor {
public:
    // Prepares and steps to the first row; throws AdoError on failure or when the
    // statement returns no columns.
    SqliteCursor(sqlite3* db, const QString& sql);
    ~SqliteCursor() override;
    SqliteCursor(const SqliteCursor&) = delete;
    SqliteCursor& operator=(const SqliteCursor&) = delete;

    const QVector<ColumnInfo>& Columns() const override { return m_columns; }
    bool Next(QVector<QVariant>& row) override { return Read(row, nullptr); }
    bool NextRaw(QVector<QVariant>& row, QVector<QVariant>& raw) override { return Read(row, &raw); }
    bool AppendTo(RecordStore& store) override;

private:
    bool Read(QVector<QVariant>& row, QVector<QVariant>* raw);
    bool Step();
    SqliteValue ValueOf(int column) const;
    [[noreturn]] void Fail() const;
    void Finish();

    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    QString m_sql;
    QVector<ColumnInfo> m_columns;
    std::optional<SqliteValueStorer> m_storer;
    int m_pending; // result of the step not yet handed out
};

} // namespace ado
