#include "ado/fileengine/SqliteResultSink.h"

#include <QStringEncoder>

#include <cstring>
#include <sqlite3.h>

namespace ado {

void SqliteResultSink::Null()
{
    sqlite3_result_null(m_context);
}

void SqliteResultSink::Integer(qint64 value)
{
    sqlite3_result_int64(m_context, value);
}

void SqliteResultSink::Real(double value)
{
    sqlite3_result_double(m_context, value);
}

void SqliteResultSink::Utf8(const char* text, qsizetype size)
{
    // Text given with its terminator is marked so: SQLite need not reallocate it to add one
    // for every sqlite3_column_text.
    char buffer[256];
    if (size < qsizetype(sizeof buffer) && (size == 0 || !std::memchr(text, '\0', size_t(size)))) {
        if (size > 0)
            std::memcpy(buffer, text, size_t(size));
        buffer[size] = '\0';
        sqlite3_result_text(m_context, buffer, -1, SQLITE_TRANSIENT);
        return;
    }
    sqlite3_result_text64(m_context, text, sqlite3_uint64(size), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void SqliteResultSink::Text(const QString& text)
{
    QStringEncoder utf8(QStringEncoder::Utf8);
    if (utf8.requiredSpace(text.size()) < 256) {
        SqliteStorageSink::Text(text);
        return;
    }
    // A long text is encoded once, straight into memory that SQLite takes over.
    char* buffer = static_cast<char*>(sqlite3_malloc64(sqlite3_uint64(utf8.requiredSpace(text.size())) + 1));
    if (!buffer) {
        sqlite3_result_error_nomem(m_context);
        return;
    }
    const char* end = utf8.appendToBuffer(buffer, text);
    sqlite3_result_text64(m_context, buffer, sqlite3_uint64(end - buffer), sqlite3_free, SQLITE_UTF8);
}

void SqliteResultSink::Bytes(const char* data, qsizetype size)
{
    sqlite3_result_blob64(m_context, data ? data : "", sqlite3_uint64(size), SQLITE_TRANSIENT);
}

} // namespace ado
