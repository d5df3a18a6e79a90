#include "ado/AdoType.h"

#include "ado/AdoError.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>
#include <QUuid>

#include <charconv>
#include <cmath>

namespace ado::AdoType {

int FromDeclaredType(const QString& declared)
{
    QString t = declared.trimmed().toLower();
    int size = 0;
    if (const qsizetype paren = t.indexOf(u'('); paren >= 0) {
        size = t.mid(paren + 1).section(u',', 0, 0).remove(u')').trimmed().toInt();
        t = t.left(paren).trimmed();
    }
    if (t.isEmpty())
        return VarWChar;
    if (t == u"int" || t == u"integer" || t == u"int4" || t == u"mediumint" || t == u"long" || t == u"serial" || t == u"counter" || t == u"autoincrement")
        return Integer;
    if (t == u"bigint" || t == u"int8" || t == u"bigserial" || t == u"unsigned big int")
        return BigInt;
    if (t == u"smallint" || t == u"int2" || t == u"short" || t == u"smallserial")
        return SmallInt;
    if (t == u"tinyint" || t == u"byte")
        return UnsignedTinyInt;
    // SQLite's REAL is eight bytes; single precision is only what says so (PostgreSQL's
    // real comes by its type number, and the file engine declares Jet's Single FLOAT4).
    if (t == u"float4" || t == u"single")
        return Single;
    if (t == u"real" || t == u"double" || t == u"double precision" || t == u"float" || t == u"float8")
        return Double;
    if (t == u"numeric" || t == u"decimal" || t == u"number")
        return Numeric;
    if (t == u"money" || t == u"currency" || t == u"smallmoney")
        return Currency;
    if (t == u"bool" || t == u"boolean" || t == u"bit" || t == u"logical" || t == u"yesno")
        return Boolean;
    if (t == u"date")
        return DBDate;
    if (t == u"time" || t.startsWith(u"time without") || t.startsWith(u"time with"))
        return DBTime;
    if (t == u"datetime" || t == u"timestamp" || t == u"timestamptz" || t.startsWith(u"timestamp ") || t == u"smalldatetime" || t == u"datetime2")
        return DBTimeStamp;
    if (t == u"uuid" || t == u"guid" || t == u"uniqueidentifier")
        return Guid;
    if (t == u"blob" || t == u"bytea" || t == u"image" || t == u"longblob" || t == u"varbinary" || t == u"longbinary" || t == u"oleobject")
        return LongVarBinary;
    if (t == u"binary")
        return Binary;
    if (t == u"char" || t == u"nchar" || t == u"character" || t == u"bpchar")
        return WChar;
    if (t == u"text" || t == u"clob" || t == u"memo" || t == u"ntext" || t == u"longtext" || t == u"mediumtext" || t == u"longchar")
        return size > 0 ? VarWChar : LongVarWChar;
    if (t.contains(u"char") || t == u"string" || t == u"name")
        return VarWChar;
    // SQLite's affinity rules for anything else.
    if (t.contains(u"int"))
        return Integer;
    if (t.contains(u"real") || t.contains(u"floa") || t.contains(u"doub"))
        return Double;
    if (t.contains(u"blob"))
        return LongVarBinary;
    if (t.contains(u"text") || t.contains(u"clob"))
        return LongVarWChar;
    return Numeric;
}

int FromPostgresOid(int oid)
{
    switch (oid) {
    case 16: return Boolean;
    case 17: return LongVarBinary;
    case 18: return WChar;
    case 19: return VarWChar;
    case 20: return BigInt;
    case 21: return SmallInt;
    case 23: return Integer;
    case 25: return LongVarWChar;
    case 26: return Integer;
    case 700: return Single;
    case 701: return Double;
    case 790: return Currency;
    case 1042: return WChar;
    case 1043: return VarWChar;
    case 1082: return DBDate;
    case 1083: case 1266: return DBTime;
    case 1114: case 1184: return DBTimeStamp;
    case 1700: return Numeric;
    case 2950: return Guid;
    default: return VarWChar;
    }
}

int FromOdbcSqlType(int sqlType)
{
    switch (sqlType) {
    case 1: case -8: return WChar;
    case 12: case -9: return VarWChar;
    case -1: case -10: return LongVarWChar;
    case 4: return Integer;
    case 5: return SmallInt;
    case -6: return UnsignedTinyInt;
    case -5: return BigInt;
    case 7: return Single;
    case 6: case 8: return Double;
    case 2: case 3: return Numeric;
    case -7: return Boolean;
    case 9: case 91: return DBDate;
    case 10: case 92: return DBTime;
    case 11: case 93: return DBTimeStamp;
    case -2: return Binary;
    case -3: return VarBinary;
    case -4: return LongVarBinary;
    case -11: return Guid;
    default: return VarWChar;
    }
}

int FromMetaType(QMetaType type)
{
    switch (type.id()) {
    case QMetaType::Bool: return Boolean;
    case QMetaType::Int: case QMetaType::UInt: return Integer;
    case QMetaType::Short: case QMetaType::UShort: return SmallInt;
    case QMetaType::LongLong: case QMetaType::ULongLong: case QMetaType::Long: case QMetaType::ULong: return BigInt;
    case QMetaType::Float: return Single;
    case QMetaType::Double: return Double;
    case QMetaType::QDate: return DBDate;
    case QMetaType::QTime: return DBTime;
    case QMetaType::QDateTime: return DBTimeStamp;
    case QMetaType::QByteArray: return LongVarBinary;
    case QMetaType::QUuid: return Guid;
    default: return VarWChar;
    }
}

bool IsText(int type)
{
    return type == Char || type == WChar || type == VarChar || type == LongVarChar || type == VarWChar || type == LongVarWChar;
}

bool IsInteger(int type)
{
    return type == SmallInt || type == Integer || type == TinyInt || type == UnsignedTinyInt || type == BigInt
        || type == 18 || type == 19 || type == 21;
}

bool IsNumeric(int type)
{
    return IsInteger(type) || type == Single || type == Double || type == Currency || type == Numeric || type == 14;
}

bool IsDateTime(int type)
{
    return type == Date || type == DBDate || type == DBTime || type == DBTimeStamp;
}

bool IsBinary(int type)
{
    return type == Binary || type == VarBinary || type == LongVarBinary;
}

namespace {

// Reads the digits of s[from, from + count); -1 when any is not a digit.
int Digits(const QString& s, int from, int count)
{
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        const char16_t c = s[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// "yyyy-MM-dd", then optionally " HH:mm[:ss[.zzz]]" or with "T": the forms databases store.
// Hand-parsed, because date columns are read a million times in a big table.
QDateTime parseDateTime(const QString& s)
{
    const int n = int(s.size());
    if (n < 10 || s[4] != u'-' || s[7] != u'-')
        return QDateTime::fromString(s, Qt::ISODateWithMs);
    const QDate date(Digits(s, 0, 4), Digits(s, 5, 2), Digits(s, 8, 2));
    if (!date.isValid())
        return {};
    if (n == 10)
        return QDateTime(date, QTime(0, 0));
    if ((s[10] != u' ' && s[10] != u'T') || n < 16 || s[13] != u':')
        return QDateTime::fromString(s, Qt::ISODateWithMs);
    int second = 0;
    int msec = 0;
    if (n >= 19) {
        if (s[16] != u':')
            return {};
        second = Digits(s, 17, 2);
        if (n > 19) {
            if (s[19] != u'.' && s[19] != u',')
                return QDateTime::fromString(s, Qt::ISODateWithMs);
            const int digits = qMin(3, n - 20);
            msec = Digits(s, 20, digits);
            for (int i = digits; i < 3; ++i)
                msec *= 10;
        }
    } else if (n != 16) {
        return {};
    }
    const QTime time(Digits(s, 11, 2), Digits(s, 14, 2), second, msec);
    if (!time.isValid())
        return {};
    return QDateTime(date, time);
}

QTime parseTime(const QString& s)
{
    for (const char* f : {"HH:mm:ss.zzz", "HH:mm:ss", "HH:mm"}) {
        QTime t = QTime::fromString(s, QString::fromLatin1(f));
        if (t.isValid())
            return t;
    }
    return {};
}

bool parseNumber(const QString& text, double& out)
{
    bool ok = false;
    const QString s = text.trimmed();
    out = s.toDouble(&ok);
    if (!ok)
        out = QLocale().toDouble(s, &ok);
    return ok;
}

// A single-precision value as the decimal it was typed as: 0.15f widened to double is
// 0.15000000596..., which is not what the user stored or expects to see.
double SingleAsDecimal(double d)
{
    if (!std::isfinite(d))
        return d;
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(d));
    if (result.ec != std::errc())
        return d;
    double shortest = d;
    std::from_chars(buffer, result.ptr, shortest);
    return shortest;
}

bool IsPlainDecimal(QStringView s)
{
    qsizetype i = 0;
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+'))
        ++i;
    bool digits = false;
    bool point = false;
    for (; i < s.size(); ++i) {
        if (s[i] >= u'0' && s[i] <= u'9')
            digits = true;
        else if (s[i] == u'.' && !point)
            point = true;
        else
            return false;
    }
    return digits;
}

} // namespace

QString DecimalText(const QString& text, bool regional)
{
    QString s = text.trimmed();
    if (!IsPlainDecimal(s)) {
        if (!regional)
            return {};
        const QLocale locale;
        if (locale.decimalPoint() == QStringLiteral(".") || s.contains(u'.'))
            return {};
        s.replace(locale.decimalPoint(), QStringLiteral("."));
        s.replace(locale.negativeSign(), QStringLiteral("-"));
        if (!IsPlainDecimal(s))
            return {};
    }
    if (s.startsWith(u'+'))
        s.remove(0, 1);
    return s;
}

QVariant Normalize(const QVariant& value, int type)
{
    if (!value.isValid() || value.isNull())
        return {};
    const int id = value.metaType().id();
    switch (type) {
    case SmallInt: case Integer: case TinyInt: case UnsignedTinyInt: case BigInt: {
        if (id == QMetaType::LongLong || id == QMetaType::Int)
            return value;
        if (id == QMetaType::Double) // SQLite may hold a real in an integer column
            return value.toDouble() == double(value.toLongLong()) ? QVariant(value.toLongLong()) : value;
        bool ok = false;
        const qlonglong v = value.toLongLong(&ok);
        if (ok)
            return v;
        double d = 0;
        if (parseNumber(value.toString(), d) && d == double(qlonglong(d)))
            return qlonglong(d);
        return value;
    }
    case Single: {
        bool ok = false;
        const double d = value.toDouble(&ok);
        return ok ? QVariant(SingleAsDecimal(d)) : value;
    }
    case Numeric: {
        if (id == QMetaType::Double)
            return value;
        if (id == QMetaType::LongLong || id == QMetaType::Int || id == QMetaType::ULongLong || id == QMetaType::UInt)
            return value.toString();
        if (id == QMetaType::QString) {
            const QString exact = DecimalText(value.toString());
            if (!exact.isEmpty())
                return exact;
        }
        bool ok = false;
        const double d = value.toDouble(&ok);
        return ok ? QVariant(d) : value;
    }
    case Double: case Currency: {
        if (id == QMetaType::Double)
            return value;
        bool ok = false;
        const double d = value.toDouble(&ok);
        return ok ? QVariant(d) : value;
    }
    case Boolean: {
        if (id == QMetaType::Bool)
            return value;
        if (id == QMetaType::QString) {
            const QString s = value.toString().trimmed().toLower();
            if (s == u"t" || s == u"true" || s == u"y" || s == u"yes" || s == u"1" || s == u"-1")
                return true;
            if (s == u"f" || s == u"false" || s == u"n" || s == u"no" || s == u"0")
                return false;
            return value;
        }
        return value.toBool();
    }
    case DBDate: case Date: {
        if (id == QMetaType::QDate)
            return value;
        if (id == QMetaType::QDateTime) {
            const QDateTime dt = value.toDateTime();
            return dt.time() == QTime(0, 0) ? QVariant(dt.date()) : QVariant(dt);
        }
        const QString text = value.toString().trimmed();
        if (text.size() == 10 && text[4] == u'-' && text[7] == u'-') {
            const QDate d(Digits(text, 0, 4), Digits(text, 5, 2), Digits(text, 8, 2));
            return d.isValid() ? QVariant(d) : value;
        }
        const QDateTime dt = parseDateTime(text);
        if (!dt.isValid())
            return value;
        return dt.time() == QTime(0, 0) ? QVariant(dt.date()) : QVariant(dt);
    }
    case DBTimeStamp: {
        if (id == QMetaType::QDateTime)
            return value;
        if (id == QMetaType::QDate)
            return QDateTime(value.toDate(), QTime(0, 0));
        const QDateTime dt = parseDateTime(value.toString().trimmed());
        return dt.isValid() ? QVariant(dt) : value;
    }
    case DBTime: {
        if (id == QMetaType::QTime)
            return value;
        const QTime t = parseTime(value.toString().trimmed());
        return t.isValid() ? QVariant(t) : value;
    }
    case Binary: case VarBinary: case LongVarBinary:
        return id == QMetaType::QByteArray ? value : QVariant(value.toByteArray());
    case Guid:
        return id == QMetaType::QUuid ? QVariant(value.toUuid().toString(QUuid::WithBraces)) : QVariant(value.toString());
    default:
        if (id == QMetaType::QString)
            return value;
        if (id == QMetaType::QByteArray)
            return QString::fromUtf8(value.toByteArray());
        return value.toString();
    }
}

QVariant Coerce(const QVariant& value, int type)
{
    if (!value.isValid() || value.isNull())
        return {};
    const QVariant v = Normalize(value, type);
    const int id = v.metaType().id();
    const auto mismatch = [&] {
        return AdoError(err::TypeMismatch, QStringLiteral("Type mismatch: '%1' is not a valid value for this field").arg(value.toString()));
    };
    if (IsInteger(type)) {
        if (id == QMetaType::LongLong || id == QMetaType::Int)
            return v;
        throw mismatch();
    }
    if (IsNumeric(type)) {
        if (id == QMetaType::Double)
            return v;
        if (type == Numeric && id == QMetaType::QString) {
            const QString exact = DecimalText(v.toString(), true);
            if (!exact.isEmpty())
                return exact;
        }
        double d = 0;
        if (parseNumber(v.toString(), d))
            return d;
        throw mismatch();
    }
    if (type == Boolean) {
        if (id == QMetaType::Bool)
            return v;
        throw mismatch();
    }
    if (type == DBDate || type == Date) {
        if (id == QMetaType::QDate || id == QMetaType::QDateTime)
            return v;
        const QDate d = QLocale().toDate(v.toString().trimmed(), QLocale::ShortFormat);
        if (d.isValid())
            return d;
        throw mismatch();
    }
    if (type == DBTimeStamp) {
        if (id == QMetaType::QDateTime)
            return v;
        const QDateTime dt = QLocale().toDateTime(v.toString().trimmed(), QLocale::ShortFormat);
        if (dt.isValid())
            return dt;
        const QDate d = QLocale().toDate(v.toString().trimmed(), QLocale::ShortFormat);
        if (d.isValid())
            return QDateTime(d, QTime(0, 0));
        throw mismatch();
    }
    if (type == DBTime) {
        if (id == QMetaType::QTime)
            return v;
        throw mismatch();
    }
    return v;
}

} // namespace ado::AdoType
