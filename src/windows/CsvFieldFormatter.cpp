#include "windows/CsvFieldFormatter.h"

#include "ado/AdoType.h"
#include "connections/MConnections.h"

#include <QDateTime>
#include <charconv>
#include <cmath>

namespace {

const QString TimeFormat = QStringLiteral("HH:mm:ss");

void AppendAscii(QString& line, const char* begin, const char* end)
{
    line.append(QLatin1StringView(begin, end - begin));
}

void AppendTwoDigits(QString& line, int n)
{
    line.append(QChar(u'0' + n / 10));
    line.append(QChar(u'0' + n % 10));
}

} // namespace

CsvFieldFormatter::CsvFieldFormatter(int adoType, bool stripCrLf, const QLocale& locale)
    : m_quoted(MConnections::GetFieldTypeCategory(adoType) == 0), m_stripCrLf(stripCrLf),
      m_numericText(ado::AdoType::IsNumeric(adoType)), m_locale(locale)
{
    m_locale.setNumberOptions(m_locale.numberOptions() | QLocale::OmitGroupSeparator);
    m_asciiDigits = m_locale.zeroDigit() == u"0";
    m_decimalPoint = m_locale.decimalPoint();
    m_negativeSign = m_locale.negativeSign();
    // The grid's short date, with the century always written out.
    m_dateFormat = m_locale.dateFormat(QLocale::ShortFormat);
    if (!m_dateFormat.contains(QStringLiteral("yyyy")))
        m_dateFormat.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    if (!m_asciiDigits || !CompileDateFormat())
        m_dateParts.clear();
}

bool CsvFieldFormatter::CompileDateFormat()
{
    const QString& f = m_dateFormat;
    for (qsizetype i = 0; i < f.size();) {
        const QChar c = f[i];
        qsizetype run = 1;
        while (i + run < f.size() && f[i + run] == c)
            ++run;
        if (c == u'd' && run <= 2) {
            m_dateParts.push_back({run == 1 ? DatePart::Kind::Day : DatePart::Kind::Day2, {}, {}});
        } else if (c == u'd' && run <= 4) {
            // Each name written once by QLocale itself, from a week that starts on a Monday.
            QStringList names;
            for (int day = 0; day < 7; ++day)
                names << m_locale.toString(QDate(2024, 1, 1).addDays(day), f.mid(i, run));
            m_dateParts.push_back({DatePart::Kind::DayName, {}, names});
        } else if (c == u'M' && run <= 2) {
            m_dateParts.push_back({run == 1 ? DatePart::Kind::Month : DatePart::Kind::Month2, {}, {}});
        } else if (c == u'M' && run <= 4) {
            QStringList names;
            for (int month = 1; month <= 12; ++month)
                names << m_locale.toString(QDate(2001, month, 1), f.mid(i, run));
            m_dateParts.push_back({DatePart::Kind::MonthName, {}, names});
        } else if (c == u'y' && run == 4) {
            m_dateParts.push_back({DatePart::Kind::Year4, {}, {}});
        } else if (c.isLetter() || c == u'\'') {
            // Other fields and quoted text are QLocale's to write.
            return false;
        } else {
            if (m_dateParts.empty() || m_dateParts.back().kind != DatePart::Kind::Literal)
                m_dateParts.push_back({DatePart::Kind::Literal, {}, {}});
            m_dateParts.back().literal += f.mid(i, run);
        }
        i += run;
    }
    return true;
}

void CsvFieldFormatter::Append(QString& line, const QVariant& value) const
{
    if (!value.isValid() || value.isNull())
        return;
    if (!m_quoted) {
        AppendRegional(line, value);
        return;
    }
    if (value.typeId() == QMetaType::QString)
        AppendQuoted(line, *static_cast<const QString*>(value.constData()));
    else
        AppendQuoted(line, value.toString());
}

void CsvFieldFormatter::AppendQuoted(QString& line, const QString& text) const
{
    line.append(u'"');
    // One pass over the text, which is short more often than not.
    bool plain = true;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u <= u'"' && (u == u'"' || (m_stripCrLf && (u == u'\r' || u == u'\n')))) {
            plain = false;
            break;
        }
    }
    if (plain) {
        line.append(text);
    } else {
        for (const QChar c : text) {
            if (m_stripCrLf && (c == u'\r' || c == u'\n'))
                continue;
            if (c == u'"')
                line.append(u'"');
            line.append(c);
        }
    }
    line.append(u'"');
}

void CsvFieldFormatter::AppendRegional(QString& line, const QVariant& value) const
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        AppendDouble(line, value.toDouble());
        return;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::SChar:
        AppendSigned(line, value.toLongLong());
        return;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        AppendUnsigned(line, value.toULongLong());
        return;
    case QMetaType::Bool:
        line.append(value.toBool() ? QLatin1StringView("true") : QLatin1StringView("false"));
        return;
    case QMetaType::QDate:
        AppendDate(line, value.toDate());
        return;
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        AppendDate(line, dt.date());
        const QTime time = dt.time();
        if (time != QTime(0, 0)) {
            line.append(u' ');
            AppendTime(line, time);
        }
        return;
    }
    case QMetaType::QTime:
        AppendTime(line, value.toTime());
        return;
    case QMetaType::QByteArray:
        line.append(QLatin1StringView(value.toByteArray().toHex().toUpper()));
        return;
    case QMetaType::QString:
        // Exact decimals may arrive as text; only their separators are regional.
        if (m_numericText) {
            for (const QChar c : *static_cast<const QString*>(value.constData())) {
                if (c == u'.')
                    line.append(m_decimalPoint);
                else if (c == u'-')
                    line.append(m_negativeSign);
                else
                    line.append(c);
            }
            return;
        }
        line.append(*static_cast<const QString*>(value.constData()));
        return;
    default:
        line.append(value.toString());
        return;
    }
}

void CsvFieldFormatter::AppendSigned(QString& line, qint64 n) const
{
    if (!m_asciiDigits) {
        line.append(m_locale.toString(n));
        return;
    }
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    const char* begin = digits;
    if (*begin == '-') {
        line.append(m_negativeSign);
        ++begin;
    }
    AppendAscii(line, begin, end);
}

void CsvFieldFormatter::AppendUnsigned(QString& line, quint64 n) const
{
    if (!m_asciiDigits) {
        line.append(m_locale.toString(n));
        return;
    }
    char digits[24];
    AppendAscii(line, digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

void CsvFieldFormatter::AppendDouble(QString& line, double d) const
{
    if (!std::isfinite(d)) {
        line.append(QString::number(d));
        return;
    }
    // Plain digits for the everyday range, an exponent only for very large or small values.
    const double a = std::fabs(d);
    const bool exponent = a != 0 && (a >= 1e15 || a < 1e-4);
    if (exponent || !m_asciiDigits) {
        line.append(m_locale.toString(d, exponent ? 'g' : 'f', QLocale::FloatingPointShortest));
        return;
    }
    // The shortest digits that read back as the same double, as QLocale writes them; QLocale
    // writes a negative zero without its sign.
    if (d == 0)
        d = 0;
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, d, std::chars_format::fixed).ptr;
    for (const char* p = digits; p != end; ++p) {
        if (*p == '-')
            line.append(m_negativeSign);
        else if (*p == '.')
            line.append(m_decimalPoint);
        else
            line.append(QChar(char16_t(*p)));
    }
}

void CsvFieldFormatter::AppendDate(QString& line, QDate date) const
{
    int year = 0, month = 0, day = 0;
    if (!m_dateParts.empty() && date.isValid())
        date.getDate(&year, &month, &day);
    if (year < 1000 || year > 9999) {
        line.append(m_locale.toString(date, m_dateFormat));
        return;
    }
    for (const DatePart& part : m_dateParts) {
        switch (part.kind) {
        case DatePart::Kind::Literal:
            line.append(part.literal);
            break;
        case DatePart::Kind::Day:
            if (day >= 10)
                line.append(QChar(u'0' + day / 10));
            line.append(QChar(u'0' + day % 10));
            break;
        case DatePart::Kind::Day2:
            AppendTwoDigits(line, day);
            break;
        case DatePart::Kind::DayName:
            line.append(part.names[date.dayOfWeek() - 1]);
            break;
        case DatePart::Kind::Month:
            if (month >= 10)
                line.append(QChar(u'0' + month / 10));
            line.append(QChar(u'0' + month % 10));
            break;
        case DatePart::Kind::Month2:
            AppendTwoDigits(line, month);
            break;
        case DatePart::Kind::MonthName:
            line.append(part.names[month - 1]);
            break;
        case DatePart::Kind::Year4:
            AppendTwoDigits(line, year / 100);
            AppendTwoDigits(line, year % 100);
            break;
        }
    }
}

void CsvFieldFormatter::AppendTime(QString& line, QTime time)
{
    if (!time.isValid()) {
        line.append(time.toString(TimeFormat));
        return;
    }
    AppendTwoDigits(line, time.hour());
    line.append(u':');
    AppendTwoDigits(line, time.minute());
    line.append(u':');
    AppendTwoDigits(line, time.second());
}
