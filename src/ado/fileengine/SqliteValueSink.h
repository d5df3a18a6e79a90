#pragma once

#include "ado/fileengine/SqliteStorageSink.h"
#include "ado/providers/SqliteValue.h"

#include <memory>

namespace ado {

// Takes one value of a file-backed table as the virtual table would hand it to SQLite,
// without SQLite: the same storage class and bytes, and a NaN turned to null as
// sqlite3_result_double does. Text and bytes are copied into a buffer the sink reuses.
class SqliteValueSink final : public SqliteStorageSink {
public:
    // The last value put; its text or bytes stay until the next one.
    const SqliteValue& Value() const { return m_value; }

    void Null() override;
    void Integer(qint64 value) override;
    void Real(double value) override;
    void Utf8(const char* text, qsizetype size) override;
    void Bytes(const char* data, qsizetype size) override;
    // Encoded straight into the buffer.
    void Text(const QString& text) override;

protected:
    void DateText(const char* text, qsizetype size, QDate date) override;

private:
    void Hold(int storage, const char* data, qsizetype size);
    // The buffer, with room for size bytes at least.
    char* Room(size_t size);

    SqliteValue m_value;
    std::unique_ptr<char[]> m_buffer;
    size_t m_capacity = 0;
};

} // namespace ado
