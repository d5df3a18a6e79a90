#pragma once

#include "ado/Backend.h"

struct sqlite3;
struct sqlite3_stmt;

namespace ado {

class SqliteBackend;

// A statement compiled once and run again with each new set of values, straight through
// the C API: compiling an INSERT costs more than running it.
class SqlitePreparedStatement : public PreparedStatement {
public:
    // Throws AdoError when the text does not compile or holds more than one statement.
    SqlitePreparedStatement(const SqliteBackend& backend, sqlite3* db, const QString& sql);
    ~SqlitePreparedStatement() override;
    SqlitePreparedStatement(const SqlitePreparedStatement&) = delete;
    SqlitePreparedStatement& operator=(const SqlitePreparedStatement&) = delete;

    qint64 Execute(const QVariantList& params) override;

private:
    void Bind(int index, const QVariant& value);
    [[noreturn]] void Fail() const;

    const SqliteBackend& m_backend;
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    QString m_sql;
};

} // namespace ado
