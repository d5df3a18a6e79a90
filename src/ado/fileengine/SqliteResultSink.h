#pragma once

#include "ado/fileengine/FileValueSink.h"

struct sqlite3_context;

namespace ado {

// The result of a virtual table's xColumn: each value becomes the SQLite value the file
// engine has always given for it (dates as "yyyy-MM-dd", date-times as
// "yyyy-MM-dd HH:mm:ss", times as "HH:mm:ss", booleans as 0 and 1, text as UTF-8).
// Text and bytes are copied (SQLITE_TRANSIENT): the reader's buffer moves on after the call.
class SqliteResultSink final : public FileValueSink {
public:
    explicit SqliteResultSink(sqlite3_context* context) : m_context(context) {}

    void Null() override;
    void Integer(qint64 value) override;
    void Real(double value) override;
    void Boolean(bool value) override;
    void Utf8(const char* text, qsizetype size) override;
    void Text(const QString& text) override;
    void Bytes(const char* data, qsizetype size) override;
    void Date(QDate date) override;
    void Time(QTime time) override;
    void DateTime(QDate date, QTime time) override;
    void Variant(const QVariant& value) override;

private:
    sqlite3_context* m_context;
};

} // namespace ado
