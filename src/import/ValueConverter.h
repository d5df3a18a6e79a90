#pragma once

#include <QString>
#include <QVariant>

// How an imported value becomes the value of a target column, by the column's field type
// class: text and GUID take its text, numeric its leading number, date its date, the
// others the value itself; a null stays null.
class ValueConverter {
public:
    // Throws 13 for a value that is not a date going to a date column, 6 for a number
    // too big for a double.
    static QVariant ConvertValue(const QVariant& value, int adoType);

    // The number the text starts with: blanks, tabs and line feeds are skipped wherever
    // they are, "." is the only decimal separator, an exponent follows E or D, "&H" and
    // "&O" read hexadecimal and octal; reading ends at the first other character and
    // text without a number gives 0.
    static double LeadingNumber(const QString& text);

    // The text of a value as an import reads it: numbers with "." whatever the locale,
    // dates as yyyy-MM-dd with the time after a blank when there is one.
    static QString TextOf(const QVariant& value);

    // The value as a date: dates and date-times as they are, numbers as days since
    // 30 December 1899, text by the user's locale (or ISO 8601); 13 for anything else.
    static QVariant ToDate(const QVariant& value);
};
