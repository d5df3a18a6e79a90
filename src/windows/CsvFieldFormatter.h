#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QVariant>
#include <vector>

// How the values of one column are written in an export line, worked out once for the
// column from its ADO type class and the locale. Variable-length text is quoted with its
// quotes doubled (and its CR and LF removed on request); every other value is written in
// the user's regional form, exactly as the grid shows it, and a Null as nothing.
// Append only reads the formatter, so a worker thread may use a formatter made elsewhere.
class CsvFieldFormatter {
public:
    CsvFieldFormatter(int adoType, bool stripCrLf, const QLocale& locale);

    void Append(QString& line, const QVariant& value) const;

private:
    // One piece of the short date format: a literal, or a day, month or year field; names of
    // days (Monday first) or months as QLocale writes them.
    struct DatePart {
        enum class Kind { Literal, Day, Day2, DayName, Month, Month2, MonthName, Year4 } kind;
        QString literal;
        QStringList names;
    };

    void AppendQuoted(QString& line, const QString& text) const;
    void AppendRegional(QString& line, const QVariant& value) const;
    void AppendSigned(QString& line, qint64 n) const;
    void AppendUnsigned(QString& line, quint64 n) const;
    void AppendDouble(QString& line, double d) const;
    void AppendDate(QString& line, QDate date) const;
    static void AppendTime(QString& line, QTime time);
    bool CompileDateFormat();

    bool m_quoted;
    bool m_stripCrLf;
    bool m_numericText;
    QLocale m_locale;
    // The locale's digits are ASCII: numbers are written without going through QLocale.
    bool m_asciiDigits;
    QString m_decimalPoint;
    QString m_negativeSign;
    QString m_dateFormat;
    // Empty when the date format needs QLocale (quotes, eras, two-digit years, ...).
    std::vector<DatePart> m_dateParts;
};
