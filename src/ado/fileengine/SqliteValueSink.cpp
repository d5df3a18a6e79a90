#include "ado/fileengine/SqliteValueSink.h"

#include <QStringEncoder>

#include <cmath>
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

void SqliteValueSink::Hold(int storage, const char* data, qsizetype size)
{
    if (size > 0)
        m_buffer.assign(data, size_t(size));
    else
        m_buffer.clear();
    m_value.storage = storage;
    m_value.date = QDate();
    // SQLite gives no pointer for an empty blob, and an empty string for empty text.
    m_value.data = storage == SQLITE_BLOB && size == 0 ? nullptr : m_buffer.data();
    m_value.size = size;
}

void SqliteValueSink::Text(const QString& text)
{
    QStringEncoder utf8(QStringEncoder::Utf8);
    m_buffer.resize(size_t(utf8.requiredSpace(text.size())));
    const char* end = utf8.appendToBuffer(m_buffer.data(), text);
    m_buffer.resize(size_t(end - m_buffer.data()));
    m_value.storage = SQLITE_TEXT;
    m_value.date = QDate();
    m_value.data = m_buffer.data();
    m_value.size = qsizetype(m_buffer.size());
}

void SqliteValueSink::DateText(const char* text, qsizetype size, QDate date)
{
    Hold(SQLITE_TEXT, text, size);
    m_value.date = date;
}

} // namespace ado
