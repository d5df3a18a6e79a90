#include "ado/fileengine/SqliteResultSink.h"

#include <QDateTime>
#include <QStringEncoder>

#include <cstring>
#include <sqlite3.h>

namespace ado {

namespace {

// Writes value in width digits, zero-padded.
char* Digits(char* out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        out[i] = char('0' + value % 10);
    return out + width;
}

// "yyyy-MM-dd", "HH:mm:ss" or both, as QDate::toString would write them, without parsing a
// format for every value. Years outside 1..9999 go the slow way.
bool ResultDateTime(sqlite3_context* ctx, const QDate& date, const QTime& time)
{
    char text[20]; // 19 characters at most and the terminator
    char* end = text;
    if (date.isValid()) {
        int year = 0, month = 0, day = 0;
        date.getDate(&year, &month, &day);
        if (year < 1 || year > 9999)
            return false;
        end = Digits(end, year, 4);
        *end++ = '-';
        end = Digits(end, month, 2);
        *end++ = '-';
        end = Digits(end, day, 2);
    }
    if (time.isValid()) {
        if (end != text)
            *end++ = ' ';
        end = Digits(end, time.hour(), 2);
        *end++ = ':';
        end = Digits(end, time.minute(), 2);
        *end++ = ':';
        end = Digits(end, time.second(), 2);
    }
    *end = '\0';
    sqlite3_result_text(ctx, text, -1, SQLITE_TRANSIENT);
    return true;
}

void ResultString(sqlite3_context* ctx, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_result_text64(ctx, utf8.constData(), sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// Encoded once, straight into memory that SQLite takes over.
void ResultText(sqlite3_context* ctx, const QString& text)
{
    QStringEncoder utf8(QStringEncoder::Utf8);
    char* buffer = static_cast<char*>(sqlite3_malloc64(sqlite3_uint64(utf8.requiredSpace(text.size())) + 1));
    if (!buffer) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    const char* end = utf8.appendToBuffer(buffer, text);
    sqlite3_result_text64(ctx, buffer, sqlite3_uint64(end - buffer), sqlite3_free, SQLITE_UTF8);
}

} // namespace

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

void SqliteResultSink::Boolean(bool value)
{
    sqlite3_result_int(m_context, value ? 1 : 0);
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
    char buffer[255];
    QStringEncoder utf8(QStringEncoder::Utf8);
    if (utf8.requiredSpace(text.size()) <= qsizetype(sizeof buffer)) {
        const char* end = utf8.appendToBuffer(buffer, text);
        Utf8(buffer, end - buffer);
        return;
    }
    ResultText(m_context, text);
}

void SqliteResultSink::Bytes(const char* data, qsizetype size)
{
    sqlite3_result_blob64(m_context, data ? data : "", sqlite3_uint64(size), SQLITE_TRANSIENT);
}

void SqliteResultSink::Date(QDate date)
{
    if (!ResultDateTime(m_context, date, QTime()))
        ResultString(m_context, date.toString(QStringLiteral("yyyy-MM-dd")));
}

void SqliteResultSink::Time(QTime time)
{
    if (!time.isValid() || !ResultDateTime(m_context, QDate(), time))
        ResultString(m_context, time.toString(QStringLiteral("HH:mm:ss")));
}

void SqliteResultSink::DateTime(QDate date, QTime time)
{
    if (!date.isValid() || !ResultDateTime(m_context, date, time))
        ResultString(m_context, QDateTime(date, time, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

void SqliteResultSink::Variant(const QVariant& v)
{
    if (!v.isValid() || v.isNull()) {
        Null();
        return;
    }
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        Boolean(v.toBool());
        break;
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::Short: case QMetaType::UShort:
        Integer(v.toLongLong());
        break;
    case QMetaType::Double: case QMetaType::Float: case QMetaType::ULongLong:
        Real(v.toDouble());
        break;
    case QMetaType::QByteArray: {
        const QByteArray bytes = v.toByteArray();
        Bytes(bytes.constData(), bytes.size());
        break;
    }
    case QMetaType::QDate:
        Date(v.toDate());
        break;
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        if (!dt.isValid() || !ResultDateTime(m_context, dt.date(), dt.time()))
            ResultString(m_context, dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        break;
    }
    case QMetaType::QTime:
        Time(v.toTime());
        break;
    case QMetaType::QString:
        Text(*static_cast<const QString*>(v.constData()));
        break;
    default:
        Text(v.toString());
        break;
    }
}

} // namespace ado
