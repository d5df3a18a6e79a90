#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <QVariant>

namespace ado {

// Receives one value of a file-backed table, typed, so that a reader can hand over its
// bytes without building a QVariant or a QString for every value.
//
// Text passed to Utf8 and bytes passed to Bytes are copied before the call returns.
// Date, Time and DateTime take valid values only; a reader passes anything else as Null.
class FileValueSink {
public:
    virtual ~FileValueSink() = default;
    virtual void Null() = 0;
    virtual void Integer(qint64 value) = 0;
    virtual void Real(double value) = 0;
    virtual void Boolean(bool value) = 0;
    // Valid UTF-8, not terminated.
    virtual void Utf8(const char* text, qsizetype size) = 0;
    virtual void Text(const QString& text) = 0;
    virtual void Bytes(const char* data, qsizetype size) = 0;
    virtual void Date(QDate date) = 0;
    // A valid date and its "yyyy-MM-dd" spelling (10 characters), for a reader that has both.
    virtual void IsoDate(QDate date, const char* text)
    {
        (void)text;
        Date(date);
    }
    virtual void Time(QTime time) = 0;
    // A wall-clock date and time, as the file holds them (no zone).
    virtual void DateTime(QDate date, QTime time) = 0;
    // Anything FileTableCursor::Value can give.
    virtual void Variant(const QVariant& value) = 0;
};

} // namespace ado
