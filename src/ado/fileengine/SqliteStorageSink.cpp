#include "ado/fileengine/SqliteStorageSink.h"

#include <QDateTime>
#include <QStringEncoder>

namespace ado {

namespace {

// Writes value in width digits, zero-padded.
char* Digits(char* out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        out[i] = char('0' + value % 10);
    return out + width;
}

} // namespace

void SqliteStorageSink::Text(const QString& text)
{
    char buffer[255];
    QStringEncoder utf8(QStringEncoder::Utf8);
    if (utf8.requiredSpace(text.size()) <= qsizetype(sizeof buffer)) {
        const char* end = utf8.appendToBuffer(buffer, text);
        Utf8(buffer, end - buffer);
        return;
    }
    const QByteArray bytes = text.toUtf8();
    Utf8(bytes.constData(), bytes.size());
}

// As QDate::toString and QTime::toString would write them, without parsing a format for
// every value.
bool SqliteStorageSink::DateAndTime(QDate date, QTime time)
{
    char text[19];
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
    if (!time.isValid())
        DateText(text, end - text, date);
    else
        Utf8(text, end - text);
    return true;
}

void SqliteStorageSink::Date(QDate date)
{
    if (!DateAndTime(date, QTime()))
        Text(date.toString(QStringLiteral("yyyy-MM-dd")));
}

void SqliteStorageSink::Time(QTime time)
{
    if (!time.isValid() || !DateAndTime(QDate(), time))
        Text(time.toString(QStringLiteral("HH:mm:ss")));
}

void SqliteStorageSink::DateTime(QDate date, QTime time)
{
    if (!date.isValid() || !DateAndTime(date, time))
        Text(QDateTime(date, time, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

void SqliteStorageSink::Variant(const QVariant& v)
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
        if (!dt.isValid() || !DateAndTime(dt.date(), dt.time()))
            Text(dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
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
