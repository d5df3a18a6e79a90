#pragma once

#include "ado/fileengine/text/TextColumn.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace ado {

class FileValueSink;

// Turns the fields of a text file into typed values and values back into fields.
// Numbers use the file's decimal symbol; dates are read and written as ISO dates
// (yyyy-MM-dd, or yyyy/MM/dd, with an optional time HH:mm[:ss[.fff]]).
class TextValueCodec {
public:
    explicit TextValueCodec(QChar decimalSymbol = u'.') : m_decimal(decimalSymbol) {}

    // Null (invalid) for an empty field and for text that does not fit the column, as the
    // text driver reads it; a quoted empty field of a text column is an empty string.
    QVariant Parse(const QString& field, bool quoted, const TextColumn& column) const;
    // The same value handed to sink as its own type, without a QVariant.
    void Put(const QString& field, bool quoted, const TextColumn& column, FileValueSink& sink) const;

    // The field to write for a value of an INSERT; null (invalid) writes an empty field.
    // Throws AdoError when the value does not fit the column.
    QVariant Format(const QVariant& value, const TextColumn& column, const QString& table) const;

    bool ParseInteger(QStringView text, qint64* out) const;
    bool ParseNumber(QStringView text, double* out) const;
    static bool ParseBool(QStringView text, bool* out);
    static bool ParseDateTime(QStringView text, QDateTime* out, bool* hasTime);
    // The same as a wall-clock date and time (midnight when the text has none).
    static bool ParseDateAndTime(QStringView text, QDate* date, QTime* time, bool* hasTime);

private:
    QChar m_decimal;
};

} // namespace ado
