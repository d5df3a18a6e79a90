#pragma once

#include "ado/fileengine/FileValueSink.h"

namespace ado {

// Gives each value of a file-backed table the SQLite value the file engine has always
// given for it: dates as "yyyy-MM-dd", date-times as "yyyy-MM-dd HH:mm:ss", times as
// "HH:mm:ss", booleans as 0 and 1, text as UTF-8. What a derived sink receives is one of
// Null, Integer, Real, Utf8 and Bytes, so that a scan read without SQLite gives exactly
// what the virtual table gives.
class SqliteStorageSink : public FileValueSink {
public:
    void Boolean(bool value) final { Integer(value ? 1 : 0); }
    void Text(const QString& text) override;
    void Date(QDate date) final;
    void IsoDate(QDate date, const char* text) final { DateText(text, 10, date); }
    void Time(QTime time) final;
    void DateTime(QDate date, QTime time) final;
    void Variant(const QVariant& value) final;

protected:
    // A date written as "yyyy-MM-dd" text; a sink that can use the date itself overrides it.
    virtual void DateText(const char* text, qsizetype size, QDate date)
    {
        (void)date;
        Utf8(text, size);
    }

private:
    // "yyyy-MM-dd", "HH:mm:ss" or both, formatted by hand; false for years outside 1..9999.
    bool DateAndTime(QDate date, QTime time);
};

} // namespace ado
