#include "ado/fileengine/text/TextValueCodec.h"

#include "ado/AdoError.h"
#include "ado/IsoDateText.h"
#include "ado/fileengine/FileVariantSink.h"

#include <QLocale>
#include <QVarLengthArray>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace ado {

namespace {

constexpr long DataTypeMismatch = -2147217913;

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Reads exactly `count` digits at `pos`.
bool Digits(QStringView text, qsizetype pos, int count, int* out)
{
    if (pos + count > text.size())
        return false;
    int v = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = text[pos + i];
        if (!IsDigit(c))
            return false;
        v = v * 10 + (c.unicode() - u'0');
    }
    *out = v;
    return true;
}

// The text without the blanks around it; most fields have none.
QStringView Trimmed(QStringView text)
{
    if (text.isEmpty() || (!text.front().isSpace() && !text.back().isSpace()))
        return text;
    return text.trimmed();
}

// A field that parsed as a date and is ten characters with dashes: "yyyy-MM-dd" itself.
std::array<char, 10> IsoText(QStringView field)
{
    std::array<char, 10> text{};
    for (int i = 0; i < 10; ++i)
        text[size_t(i)] = char(field[i].unicode());
    return text;
}

// Exact powers of ten: a mantissa below 2^53 divided by one of them rounds as the
// decimal text would.
constexpr double PowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

bool InRange(TextColumnKind kind, qint64 v)
{
    switch (kind) {
    case TextColumnKind::Byte: return v >= 0 && v <= 255;
    case TextColumnKind::Short: return v >= -32768 && v <= 32767;
    case TextColumnKind::Long: return v >= std::numeric_limits<qint32>::min() && v <= std::numeric_limits<qint32>::max();
    default: return true;
    }
}

QString KindName(TextColumnKind kind)
{
    switch (kind) {
    case TextColumnKind::Text: return QStringLiteral("Text");
    case TextColumnKind::Memo: return QStringLiteral("Memo");
    case TextColumnKind::Bit: return QStringLiteral("Bit");
    case TextColumnKind::Byte: return QStringLiteral("Byte");
    case TextColumnKind::Short: return QStringLiteral("Short");
    case TextColumnKind::Long: return QStringLiteral("Long");
    case TextColumnKind::BigInt: return QStringLiteral("BigInt");
    case TextColumnKind::Currency: return QStringLiteral("Currency");
    case TextColumnKind::Single: return QStringLiteral("Single");
    case TextColumnKind::Double: return QStringLiteral("Double");
    case TextColumnKind::Date: return QStringLiteral("Date");
    case TextColumnKind::DateTime: return QStringLiteral("DateTime");
    }
    return {};
}

// Times in a text file belong to no zone: kept as written, they cannot fall into a daylight
// saving gap, and no zone is looked up for every value.
QDateTime WallClock(QDate date, QTime time)
{
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

bool TextValueCodec::ParseInteger(QStringView text, qint64* out) const
{
    text = Trimmed(text);
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        ++i;
    if (i == text.size() || text.size() - i > 19)
        return false;
    // Up to 18 digits cannot overflow; 19 are left to Qt.
    const bool fits = text.size() - i <= 18;
    qint64 small = 0;
    for (qsizetype j = i; j < text.size(); ++j) {
        if (!IsDigit(text[j]))
            return false;
        if (fits)
            small = small * 10 + (text[j].unicode() - u'0');
    }
    if (fits) {
        *out = text[0] == u'-' ? -small : small;
        return true;
    }
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (ok)
        *out = v;
    return ok;
}

bool TextValueCodec::ParseNumber(QStringView text, double* out) const
{
    text = Trimmed(text);
    // The number rewritten in C notation; the grammar below keeps it to its length.
    QVarLengthArray<char, 64> latin;
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        latin.append(char(text[i++].unicode()));
    int digits = 0;
    int fraction = 0;
    qint64 mantissa = 0; // of the first 15 digits
    while (i < text.size() && IsDigit(text[i])) {
        if (++digits <= 15)
            mantissa = mantissa * 10 + (text[i].unicode() - u'0');
        latin.append(char(text[i++].unicode()));
    }
    if (i < text.size() && text[i] == m_decimal) {
        latin.append('.');
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            if (++digits <= 15)
                mantissa = mantissa * 10 + (text[i].unicode() - u'0');
            ++fraction;
            latin.append(char(text[i++].unicode()));
        }
    }
    if (digits == 0)
        return false;
    // A plain decimal of 15 digits or fewer is one exact division.
    if (i == text.size() && digits <= 15) {
        const double v = double(mantissa) / PowersOfTen[fraction];
        *out = text[0] == u'-' ? -v : v;
        return true;
    }
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        latin.append('e');
        ++i;
        if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
            latin.append(char(text[i++].unicode()));
        int expDigits = 0;
        while (i < text.size() && IsDigit(text[i])) {
            latin.append(char(text[i++].unicode()));
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    if (i != text.size())
        return false;
    // from_chars rounds as QByteArray::toDouble does; it takes no plus sign, and the edges
    // (overflow, underflow, subnormals) are left to toDouble.
    const char* begin = latin.constData() + (latin[0] == '+' ? 1 : 0);
    const char* end = latin.constData() + latin.size();
    double v = 0;
    const auto [last, ec] = std::from_chars(begin, end, v);
    if (ec == std::errc() && last == end && std::isfinite(v) && std::fpclassify(v) != FP_SUBNORMAL) {
        *out = v;
        return true;
    }
    bool ok = false;
    v = QByteArray(latin.constData(), latin.size()).toDouble(&ok);
    if (ok)
        *out = v;
    return ok;
}

bool TextValueCodec::ParseBool(QStringView text, bool* out)
{
    const QString t = text.trimmed().toString().toLower();
    if (t == u"true" || t == u"yes" || t == u"on" || t == u"1" || t == u"-1") {
        *out = true;
        return true;
    }
    if (t == u"false" || t == u"no" || t == u"off" || t == u"0") {
        *out = false;
        return true;
    }
    return false;
}

bool TextValueCodec::ParseDateTime(QStringView text, QDateTime* out, bool* hasTime)
{
    QDate date;
    QTime time;
    if (!ParseDateAndTime(text, &date, &time, hasTime))
        return false;
    *out = WallClock(date, time);
    return true;
}

bool TextValueCodec::ParseDateAndTime(QStringView text, QDate* outDate, QTime* outTime, bool* hasTime)
{
    text = text.trimmed();
    int y = 0, mo = 0, d = 0;
    if (!Digits(text, 0, 4, &y) || text.size() < 10 || (text[4] != u'-' && text[4] != u'/') || text[7] != text[4]
        || !Digits(text, 5, 2, &mo) || !Digits(text, 8, 2, &d))
        return false;
    const QDate date(y, mo, d);
    if (!date.isValid())
        return false;
    *hasTime = false;
    if (text.size() == 10) {
        *outDate = date;
        *outTime = QTime::fromMSecsSinceStartOfDay(0);
        return true;
    }
    int h = 0, mi = 0, s = 0, ms = 0;
    if ((text[10] != u' ' && text[10] != u'T') || !Digits(text, 11, 2, &h) || text.size() < 16 || text[13] != u':'
        || !Digits(text, 14, 2, &mi))
        return false;
    qsizetype pos = 16;
    if (pos < text.size()) {
        if (text[pos] != u':' || !Digits(text, pos + 1, 2, &s))
            return false;
        pos += 3;
        if (pos < text.size()) {
            if (text[pos] != u'.' || pos + 1 == text.size())
                return false;
            // Fractions beyond milliseconds are dropped.
            int scale = 100;
            for (++pos; pos < text.size(); ++pos) {
                if (!IsDigit(text[pos]))
                    return false;
                ms += (text[pos].unicode() - u'0') * scale;
                scale /= 10;
            }
        }
    }
    const QTime time(h, mi, s, ms);
    if (!time.isValid())
        return false;
    *hasTime = true;
    *outDate = date;
    *outTime = time;
    return true;
}

QVariant TextValueCodec::Parse(const QString& field, bool quoted, const TextColumn& column) const
{
    FileVariantSink sink;
    Put(field, quoted, column, sink);
    return sink.Result();
}

void TextValueCodec::Put(const QString& field, bool quoted, const TextColumn& column, FileValueSink& sink) const
{
    if (field.isEmpty()) {
        if (quoted && column.IsText())
            sink.Text(QString());
        else
            sink.Null();
        return;
    }
    switch (column.kind) {
    case TextColumnKind::Text:
    case TextColumnKind::Memo:
        sink.Text(field);
        return;
    case TextColumnKind::Byte:
    case TextColumnKind::Short:
    case TextColumnKind::Long:
    case TextColumnKind::BigInt: {
        qint64 v = 0;
        if (ParseInteger(field, &v) && InRange(column.kind, v))
            sink.Integer(v);
        else
            sink.Null();
        return;
    }
    case TextColumnKind::Currency:
    case TextColumnKind::Single:
    case TextColumnKind::Double: {
        double v = 0;
        if (ParseNumber(field, &v))
            sink.Real(v);
        else
            sink.Null();
        return;
    }
    case TextColumnKind::Bit: {
        bool v = false;
        if (ParseBool(field, &v))
            sink.Boolean(v);
        else
            sink.Null();
        return;
    }
    case TextColumnKind::Date:
    case TextColumnKind::DateTime: {
        QDate date;
        // Most files write dates "yyyy-MM-dd": those skip the general parser.
        if (column.kind == TextColumnKind::Date
            && ParseIsoDateText(reinterpret_cast<const char16_t*>(field.constData()), field.size(), &date)) {
            sink.IsoDate(date, IsoText(field).data());
            return;
        }
        QTime time;
        bool hasTime = false;
        if (!ParseDateAndTime(field, &date, &time, &hasTime))
            sink.Null();
        else if (column.kind == TextColumnKind::Date)
            sink.Date(date);
        else
            sink.DateTime(date, time);
        return;
    }
    }
    sink.Null();
}

QVariant TextValueCodec::Format(const QVariant& value, const TextColumn& column, const QString& table) const
{
    if (!value.isValid() || value.isNull())
        return {};
    const auto mismatch = [&] {
        return AdoError(DataTypeMismatch, QStringLiteral("The value '%1' does not fit the column '%2' (%3) of '%4'.")
                                              .arg(value.toString().left(80), column.name, KindName(column.kind), table));
    };
    const int type = value.metaType().id();
    const bool isNumber = type == QMetaType::LongLong || type == QMetaType::Int || type == QMetaType::Double || type == QMetaType::Bool;
    switch (column.kind) {
    case TextColumnKind::Text:
    case TextColumnKind::Memo: {
        const QString text = type == QMetaType::QByteArray ? QString::fromUtf8(value.toByteArray()) : value.toString();
        if (column.kind == TextColumnKind::Text && column.fixedWidth && text.size() > column.width)
            throw AdoError(err::Unspecified, QStringLiteral("The field '%1' of '%2' is too small to accept the amount of data "
                                                            "you attempted to add (%3 characters, at most %4).")
                                                 .arg(column.name, table)
                                                 .arg(text.size())
                                                 .arg(column.width));
        return text;
    }
    case TextColumnKind::Byte:
    case TextColumnKind::Short:
    case TextColumnKind::Long:
    case TextColumnKind::BigInt: {
        qint64 v = 0;
        if (type == QMetaType::Double) {
            const double d = value.toDouble();
            if (d != std::floor(d) || std::abs(d) > 9.0e18)
                throw mismatch();
            v = qint64(d);
        } else if (isNumber) {
            v = value.toLongLong();
        } else if (!TextValueCodec(u'.').ParseInteger(value.toString(), &v)) {
            throw mismatch();
        }
        if (!InRange(column.kind, v))
            throw mismatch();
        return QString::number(v);
    }
    case TextColumnKind::Currency:
    case TextColumnKind::Single:
    case TextColumnKind::Double: {
        double v = 0;
        if (isNumber)
            v = value.toDouble();
        else if (!TextValueCodec(u'.').ParseNumber(value.toString(), &v))
            throw mismatch();
        if (!std::isfinite(v))
            throw mismatch();
        QString text = QString::number(v, 'g', QLocale::FloatingPointShortest);
        return m_decimal == u'.' ? text : text.replace(u'.', m_decimal);
    }
    case TextColumnKind::Bit: {
        bool v = false;
        if (isNumber)
            v = value.toDouble() != 0;
        else if (!ParseBool(value.toString(), &v))
            throw mismatch();
        return v ? QStringLiteral("True") : QStringLiteral("False");
    }
    case TextColumnKind::Date:
    case TextColumnKind::DateTime: {
        QDateTime v;
        bool hasTime = false;
        if (type == QMetaType::QDate)
            v = WallClock(value.toDate(), QTime(0, 0));
        else if (type == QMetaType::QDateTime)
            v = value.toDateTime();
        else if (!ParseDateTime(value.toString(), &v, &hasTime))
            throw mismatch();
        if (column.kind == TextColumnKind::Date)
            return v.date().toString(QStringLiteral("yyyy-MM-dd"));
        return v.toString(v.time().msec() ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz") : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    }
    throw mismatch();
}

} // namespace ado
