#include "ado/fileengine/dbase/DbfValueReader.h"

#include "ado/fileengine/FileValueSink.h"
#include "ado/fileengine/dbase/DbfFile.h"
#include "ado/fileengine/dbase/DbfRecordCodec.h"
#include "ado/fileengine/dbase/DbfUtf8Table.h"

#include <QtEndian>
#include <charconv>
#include <cmath>
#include <cstring>

namespace ado {

namespace {

const uchar* U(const char* p)
{
    return reinterpret_cast<const uchar*>(p);
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Text fields are padded with blanks (some writers use NULs).
int RightTrimmedLength(const char* p, int length)
{
    while (length > 0 && (p[length - 1] == ' ' || p[length - 1] == '\0'))
        --length;
    return length;
}

bool IsAscii(const char* p, int length)
{
    for (int i = 0; i < length; ++i) {
        if (U(p)[i] & 0x80)
            return false;
    }
    return true;
}

// An optional minus and at most 18 digits: no overflow, and QByteArray::toLongLong reads it the same.
bool ParseSmallInteger(const char* begin, const char* end, qint64* out)
{
    const bool negative = begin < end && *begin == '-';
    const char* p = begin + (negative ? 1 : 0);
    if (p == end || end - p > 18)
        return false;
    qint64 v = 0;
    for (; p < end; ++p) {
        if (!IsDigit(*p))
            return false;
        v = v * 10 + (*p - '0');
    }
    *out = negative ? -v : v;
    return true;
}

// A sign, digits with an optional point and an optional exponent, as QByteArray::toDouble
// reads them. Anything else (blanks inside, "inf", overflow, subnormals) is left to it.
bool ParsePlainReal(const char* begin, const char* end, double* out)
{
    // from_chars takes no plus sign.
    if (begin < end && *begin == '+' && !(end - begin > 1 && begin[1] == '-'))
        ++begin;
    const char* p = begin;
    if (p < end && *p == '-')
        ++p;
    int digits = 0;
    for (; p < end && IsDigit(*p); ++p)
        ++digits;
    if (p < end && *p == '.') {
        for (++p; p < end && IsDigit(*p); ++p)
            ++digits;
    }
    if (digits == 0)
        return false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '-' || *p == '+'))
            ++p;
        int exponentDigits = 0;
        for (; p < end && IsDigit(*p); ++p)
            ++exponentDigits;
        if (exponentDigits == 0)
            return false;
    }
    if (p != end)
        return false;
    double v = 0;
    const auto [last, ec] = std::from_chars(begin, end, v);
    if (ec != std::errc() || last != end || !std::isfinite(v) || std::fpclassify(v) == FP_SUBNORMAL)
        return false;
    *out = v;
    return true;
}

} // namespace

DbfValueReader::DbfValueReader(const DbfFile* file, const DbfRecordCodec* codec)
    : m_file(file), m_codec(codec), m_utf8(DbfUtf8Table::For(file->CodePage().Name()))
{
    const QByteArray name = file->CodePage().Name().toUpper();
    // Qt's own UTF-8 decoder keeps ASCII as it is; other multi-byte pages may not (a yen for '\\').
    m_asciiIdentity = m_utf8 ? m_utf8->AsciiIsIdentity() : (name == "UTF-8" || name == "UTF8");
}

DbfValueReader::~DbfValueReader() = default;

void DbfValueReader::PutValue(const char* record, int column, FileValueSink& sink) const
{
    sink.Variant(m_codec->Value(record, column));
}

void DbfValueReader::PutText(const char* p, int length, FileValueSink& sink)
{
    length = RightTrimmedLength(p, length);
    if (m_asciiIdentity && IsAscii(p, length)) {
        sink.Utf8(p, length);
    } else if (m_utf8) {
        m_scratch.clear();
        m_utf8->Append(p, length, m_scratch);
        sink.Utf8(m_scratch.data(), qsizetype(m_scratch.size()));
    } else {
        sink.Text(m_file->CodePage().Decode(QByteArray(p, length)));
    }
}

bool DbfValueReader::PutNumber(const DbfField& f, const char* p, FileValueSink& sink)
{
    const char* begin = p;
    const char* end = p + f.length;
    while (end > begin && (end[-1] == ' ' || end[-1] == '\0'))
        --end;
    while (begin < end && *begin == ' ')
        ++begin;
    if (begin == end || *begin == '*') {
        sink.Null();
        return true;
    }
    if (f.decimals == 0 && !std::memchr(begin, '.', size_t(end - begin))) {
        qint64 v = 0;
        if (!ParseSmallInteger(begin, end, &v))
            return false;
        sink.Integer(v);
        return true;
    }
    double d = 0;
    if (!ParsePlainReal(begin, end, &d))
        return false;
    sink.Real(d);
    return true;
}

void DbfValueReader::Put(const char* record, int column, FileValueSink& sink)
{
    const DbfField& f = m_file->Fields()[m_codec->VisibleFields()[column]];
    if (m_codec->IsNullBitSet(record, f.nullBit)) {
        sink.Null();
        return;
    }
    const char* p = record + f.offset;
    switch (f.type) {
    case 'C':
        PutText(p, f.length, sink);
        return;
    case 'V': case 'Q': {
        if (f.length < 1)
            break;
        int length = f.length;
        if (m_codec->IsNullBitSet(record, f.varBit))
            length = qMin<int>(U(p)[f.length - 1], f.length - 1);
        if (f.type == 'Q')
            sink.Bytes(p, length);
        else
            PutText(p, length, sink);
        return;
    }
    case 'N': case 'F':
        if (PutNumber(f, p, sink))
            return;
        break;
    case 'D': {
        if (f.length < 8) {
            sink.Null();
            return;
        }
        int digits[8];
        for (int i = 0; i < 8; ++i) {
            if (!IsDigit(p[i])) {
                sink.Null();
                return;
            }
            digits[i] = p[i] - '0';
        }
        const QDate date(digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3], digits[4] * 10 + digits[5],
                         digits[6] * 10 + digits[7]);
        if (date.isValid())
            sink.Date(date);
        else
            sink.Null();
        return;
    }
    case 'L':
        switch (p[0]) {
        case 'T': case 't': case 'Y': case 'y':
            sink.Boolean(true);
            return;
        case 'F': case 'f': case 'N': case 'n':
            sink.Boolean(false);
            return;
        default:
            sink.Null();
            return;
        }
    case 'I':
        if (f.length != 4)
            break;
        sink.Integer(qFromLittleEndian<qint32>(U(p)));
        return;
    case 'Y':
        if (f.length != 8)
            break;
        sink.Real(double(qFromLittleEndian<qint64>(U(p))) / 10000.0);
        return;
    case 'T': {
        if (f.length != 8)
            break;
        const qint32 day = qFromLittleEndian<qint32>(U(p));
        const qint32 ms = qFromLittleEndian<qint32>(U(p) + 4);
        const QDate date = day > 0 ? QDate::fromJulianDay(day) : QDate();
        if (!date.isValid() || ms < 0 || ms >= 86400000)
            sink.Null();
        else
            sink.DateTime(date, QTime::fromMSecsSinceStartOfDay(ms));
        return;
    }
    default:
        break;
    }
    // Memos, the rarer binary types and number texts the plain parsers leave alone.
    PutValue(record, column, sink);
}

} // namespace ado
