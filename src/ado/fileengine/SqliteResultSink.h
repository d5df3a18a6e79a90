#pragma once

#include "ado/fileengine/SqliteStorageSink.h"

struct sqlite3_context;

namespace ado {

// The result of a virtual table's xColumn. Text and bytes are copied (SQLITE_TRANSIENT):
// the reader's buffer moves on after the call.
class SqliteResultSink final : public SqliteStorageSink {
public:
    explicit SqliteResultSink(sqlite3_context* context) : m_context(context) {}

    void Null() override;
    void Integer(qint64 value) override;
    void Real(double value) override;
    void Utf8(const char* text, qsizetype size) override;
    void Text(const QString& text) override;
    void Bytes(const char* data, qsizetype size) override;

private:
    sqlite3_context* m_context;
};

} // namespace ado
