#include "ado/fileengine/SqliteValueSink.h"

#include <QStringEncoder>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sqlite3.h>

namespace ado {

void SqliteValueSink::Null()
{
    m_value.storage = SQLITE_NULL;
    m_value.date = QDate();
}

void SqliteValueSink::Integer(qint64 value)
{
    m_value.storage = SQLITE_INTEGER;
    m_value.date = QDate();
    m_value.integer = value;
}

void SqliteValueSink::Real(double value)
{
    if (std::isnan(value)) {
        Null();
        return;
    }
    m_value.storage = SQLITE_FLOAT;
    m_value.date = QDate();
    m_value.real = value;
}

void SqliteValueSink::Utf8(const char* text, qsizetype size)
{
    Hold(SQLITE_TEXT, text, size);
}

void SqliteValueSink::Bytes(const char* data, qsizetype size)
{
    Hold(SQLITE_BLOB, data, size);
}

char* SqliteValueSink::Room(size_t size)
{
    // Never zero-filled: every byte handed out is written first.
    if (!m_buffer || size > m_capacity) {
        m_capacity = std::max({size, 2 * m_capacity, size_t(64)});
        m_buffer = std::make_unique_for_overwrite<char[]>(m_capacity);
    }
    return m_buffer.get();
}

void SqliteValueSink::Hold(int storage, const char* data, qsizetype size)
{
    char* room = Room(size_t(size));
    if (size > 0)
        std::memcpy(room, data, size_t(size));
    m_value.storage = storage;
    m_value.date = QDate();
    // SQLite gives no pointer for an empty blob, and an empty string for empty text.
    m_value.data = storage == SQLITE_BLOB && size == 0 ? nullptr : room;
    m_value.size = size;
}

void SqliteValueSink::Text(const QString& text)
{
    // Most text is ASCII, one byte a character as it is.
    const qsizetype n = text.size();
    const char16_t* chars = reinterpret_cast<const char16_t*>(text.constData());
    char* ascii = Room(size_t(n));
    qsizetype i = 0;
    while (i < n && chars[i] < 0x80) {
        ascii[i] = char(chars[i]);
        ++i;
    }
    if (i == n) {
        m_value.storage = SQLITE_TEXT;
        m_value.date = QDate();
        m_value.data = ascii;
        m_value.size = n;
        return;
    }
    QStringEncoder utf8(QStringEncoder::Utf8);
    char* room = Room(size_t(utf8.requiredSpace(text.size())));
    const char* end = utf8.appendToBuffer(room, text);
    m_value.storage = SQLITE_TEXT;
    m_value.date = QDate();
    m_value.data = room;
    m_value.size = end - room;
}

void SqliteValueSink::DateText(const char* text, qsizetype size, QDate date)
{
    Hold(SQLITE_TEXT, text, size);
    m_value.date = date;
}

} // namespace ado
