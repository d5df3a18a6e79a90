#include "import/ValueConverter.h"

#include "ado/AdoError.h"
#include "connections/MConnections.h"

#include <QDateTime>
#include <QLocale>
#include <QUuid>

#include <cmath>
#include <cstdio>

namespace {

enum Category { Text = 0, Numeric = 1, Date = 2, Guid = 3 };

bool IsSkipped(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

int DigitValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return 99;
}

// Digits in that base after an "&H" or "&O" prefix, the blanks skipped.
double ReadInBase(const QString& text, qsizetype from, int base)
{
    double value = 0;
    for (qsizetype i = from; i < text.size(); ++i) {
        if (IsSkipped(text[i]))
            continue;
        const int digit = DigitValue(text[i]);
        if (digit >= base)
            break;
        value = value * base + digit;
    }
    return value;
}

ado::AdoError Overflow()
{
    return ado::AdoError(ado::err::Overflow, QStringLiteral("Overflow"));
}

ado::AdoError NotADate(const QVariant& value)
{
    return ado::AdoError(ado::err::TypeMismatch,
                         QStringLiteral("Type mismatch: '%1' is not a date").arg(value.toString()));
}

// The user's date (or date and time) formats, short and long, each also with a
// four-digit year where the locale writes two: people type the whole year.
QStringList LocaleFormats(const QLocale& locale, bool withTime)
{
    QStringList formats;
    for (const QLocale::FormatType type : {QLocale::ShortFormat, QLocale::LongFormat}) {
        const QString format = withTime ? locale.dateTimeFormat(type) : locale.dateFormat(type);
        if (!format.contains(QStringLiteral("yyyy")) && format.contains(QStringLiteral("yy")))
            formats << QString(format).replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
        formats << format;
    }
    return formats;
}

// yyyy-MM-dd without the locale machinery of QDate::toString, which costs more than
// storing the row.
QString IsoDate(const QDate& d)
{
    char buffer[16];
    const int n = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year(), d.month(), d.day());
    return QString::fromLatin1(buffer, n);
}

QString IsoTime(const QTime& t)
{
    char buffer[16];
    const int n = std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour(), t.minute(), t.second());
    return QString::fromLatin1(buffer, n);
}

bool IsNumber(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::Double: case QMetaType::Float: case QMetaType::Int: case QMetaType::LongLong:
    case QMetaType::UInt: case QMetaType::ULongLong: case QMetaType::Short: case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

} // namespace

double ValueConverter::LeadingNumber(const QString& text)
{
    qsizetype i = 0;
    const auto skip = [&] {
        while (i < text.size() && IsSkipped(text[i]))
            ++i;
    };
    skip();
    if (i < text.size() && text[i] == u'&') {
        qsizetype j = i + 1;
        while (j < text.size() && IsSkipped(text[j]))
            ++j;
        if (j < text.size() && (text[j] == u'h' || text[j] == u'H'))
            return ReadInBase(text, j + 1, 16);
        if (j < text.size() && (text[j] == u'o' || text[j] == u'O'))
            return ReadInBase(text, j + 1, 8);
        return 0;
    }
    // The characters of the number in C form, for strtod to read exactly.
    QByteArray number;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        number += char(text[i].unicode());
        ++i;
    }
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (IsSkipped(c))
            continue;
        if (c >= u'0' && c <= u'9') {
            number += char(c.unicode());
            digits = true;
        } else if (c == u'.' && !point) {
            number += '.';
            point = true;
        } else {
            break;
        }
    }
    if (!digits)
        return 0;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E' || text[i] == u'd' || text[i] == u'D')) {
        QByteArray exponent;
        qsizetype j = i + 1;
        while (j < text.size() && IsSkipped(text[j]))
            ++j;
        if (j < text.size() && (text[j] == u'-' || text[j] == u'+'))
            exponent += char(text[j++].unicode());
        bool expDigits = false;
        for (; j < text.size(); ++j) {
            if (IsSkipped(text[j]))
                continue;
            if (text[j] < u'0' || text[j] > u'9')
                break;
            exponent += char(text[j].unicode());
            expDigits = true;
        }
        if (expDigits)
            number += 'e' + exponent;
    }
    const double value = std::strtod(number.constData(), nullptr);
    if (std::isinf(value))
        throw Overflow();
    return value;
}

QString ValueConverter::TextOf(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        // The shortest text that reads back as the same double, never with exponent for
        // the numbers people type.
        QString text = QString::number(d, 'g', QLocale::FloatingPointShortest);
        if (text.contains(u'e') && std::abs(d) >= 1e-6 && std::abs(d) < 1e15)
            text = QString::number(d, 'f', QLocale::FloatingPointShortest);
        return text;
    }
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QDate:
        return IsoDate(value.toDate());
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        return dt.time() == QTime(0, 0) ? IsoDate(dt.date()) : IsoDate(dt.date()) + u' ' + IsoTime(dt.time());
    }
    case QMetaType::QTime:
        return IsoTime(value.toTime());
    case QMetaType::QUuid:
        return value.toUuid().toString(QUuid::WithBraces);
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    default:
        return value.toString();
    }
}

QVariant ValueConverter::ToDate(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return value;
    case QMetaType::QTime:
        return QDateTime(QDate(1899, 12, 30), value.toTime());
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Float: {
        // A date is a number of days; the fraction is the time of day.
        const double days = value.toDouble();
        if (!std::isfinite(days) || std::abs(days) > 3e6)
            throw Overflow();
        const QDateTime base(QDate(1899, 12, 30), QTime(0, 0));
        const QDateTime dt = base.addMSecs(qint64(std::llround(days * 86400000.0)));
        return dt.time() == QTime(0, 0) ? QVariant(dt.date()) : QVariant(dt);
    }
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        const QLocale locale;
        for (const QString& format : LocaleFormats(locale, false)) {
            const QDate d = locale.toDate(text, format);
            if (d.isValid())
                return d;
        }
        for (const QString& format : LocaleFormats(locale, true)) {
            const QDateTime dt = locale.toDateTime(text, format);
            if (dt.isValid())
                return dt;
        }
        const QDate iso = QDate::fromString(text, Qt::ISODate);
        if (iso.isValid())
            return iso;
        QString isoTime = text;
        if (isoTime.size() > 10 && isoTime[10] == u' ')
            isoTime[10] = u'T';
        const QDateTime isoDateTime = QDateTime::fromString(isoTime, Qt::ISODate);
        if (isoDateTime.isValid())
            return isoDateTime;
        throw NotADate(value);
    }
    default:
        throw NotADate(value);
    }
}

QVariant ValueConverter::ConvertValue(const QVariant& value, int adoType)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (MConnections::GetFieldTypeCategory(adoType)) {
    case Text:
    case Guid:
        return TextOf(value);
    case Numeric:
        // A number's own text, written with ".", reads back as the same double.
        return IsNumber(value) ? QVariant(value.toDouble()) : QVariant(LeadingNumber(TextOf(value)));
    case Date:
        return ToDate(value);
    default:
        return value;
    }
}
