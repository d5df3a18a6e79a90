#include "ado/StoredColumn.h"

#include <QDateTime>

namespace ado {

namespace {

constexpr qint64 MsPerDay = 86400000;

// UTF-8 cannot hold a lone surrogate: such a text is kept aside as it is.
bool IsWellFormed(const QString& text)
{
    const QChar* p = text.constData();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i].unicode();
        if ((c & 0xF800) != 0xD800)
            continue;
        if (c >= 0xDC00 || i + 1 >= n || (p[i + 1].unicode() & 0xFC00) != 0xDC00)
            return false;
        ++i;
    }
    return true;
}

qint64 FloorDiv(qint64 a, qint64 b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

} // namespace

void StoredColumn::SetBit(std::vector<quint64>& bits, int row, bool on)
{
    const size_t word = size_t(row) >> 6;
    if (word >= bits.size()) {
        if (!on)
            return;
        bits.resize(word + 1, 0);
    }
    const quint64 mask = quint64(1) << (row & 63);
    bits[word] = on ? bits[word] | mask : bits[word] & ~mask;
}

void StoredColumn::Decide(const QVariant& value)
{
    m_type = value.metaType().id();
    switch (m_type) {
    case QMetaType::Bool: case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::QDate: case QMetaType::QTime:
        m_kind = Kind::Integer;
        break;
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        m_timeBasis = dt.timeSpec();
        m_offset = m_timeBasis == Qt::OffsetFromUTC ? dt.offsetFromUtc() : 0;
        // A time zone is more than a number: such columns keep their values whole.
        m_kind = m_timeBasis == Qt::TimeZone ? Kind::Variant : Kind::Integer;
        break;
    }
    case QMetaType::Double:
        m_kind = Kind::Real;
        break;
    case QMetaType::QString:
        m_kind = Kind::Text;
        break;
    case QMetaType::QByteArray:
        m_kind = Kind::Bytes;
        break;
    default:
        m_kind = Kind::Variant;
        break;
    }
    // The rows before held nulls or values aside: they get their place in the new arrays.
    for (int i = 0; i < m_size; ++i)
        AppendPlaceholder();
}

bool StoredColumn::Fits(const QVariant& value) const
{
    if (m_kind == Kind::Variant)
        return true;
    if (value.metaType().id() != m_type)
        return false;
    if (m_type == QMetaType::QDateTime) {
        const QDateTime dt = value.toDateTime();
        return dt.isValid() && dt.timeSpec() == m_timeBasis && (m_timeBasis != Qt::OffsetFromUTC || dt.offsetFromUtc() == m_offset);
    }
    if (m_type == QMetaType::QString)
        return IsWellFormed(value.toString());
    // An invalid date or time is no number of days or milliseconds.
    if (m_type == QMetaType::QDate)
        return value.toDate().isValid();
    if (m_type == QMetaType::QTime)
        return value.toTime().isValid();
    return true;
}

void StoredColumn::AppendPlaceholder()
{
    switch (m_kind) {
    case Kind::Undecided: break;
    case Kind::Integer: m_integers.push_back(0); break;
    case Kind::Real: m_reals.push_back(0); break;
    case Kind::Text: case Kind::Bytes: m_ends.push_back(qint64(m_arena.Size())); break;
    case Kind::Variant: m_variants.push_back(QVariant()); break;
    }
}

void StoredColumn::AppendTyped(const QVariant& value)
{
    switch (m_kind) {
    case Kind::Undecided:
        break;
    case Kind::Integer: {
        qint64 n = 0;
        switch (m_type) {
        case QMetaType::Bool: n = value.toBool(); break;
        case QMetaType::ULongLong: n = qint64(value.toULongLong()); break;
        case QMetaType::QDate: n = value.toDate().toJulianDay(); break;
        case QMetaType::QTime: n = value.toTime().msecsSinceStartOfDay(); break;
        case QMetaType::QDateTime: {
            const QDateTime dt = value.toDateTime();
            n = dt.date().toJulianDay() * MsPerDay + dt.time().msecsSinceStartOfDay();
            break;
        }
        default: n = value.toLongLong(); break;
        }
        m_integers.push_back(n);
        break;
    }
    case Kind::Real:
        m_reals.push_back(value.toDouble());
        break;
    case Kind::Text: {
        const QByteArray utf8 = value.toString().toUtf8();
        m_arena.Append(utf8.constData(), utf8.size());
        m_ends.push_back(qint64(m_arena.Size()));
        break;
    }
    case Kind::Bytes: {
        const QByteArray bytes = value.toByteArray();
        m_arena.Append(bytes.constData(), bytes.size());
        m_ends.push_back(qint64(m_arena.Size()));
        break;
    }
    case Kind::Variant:
        m_variants.push_back(value);
        break;
    }
}

void StoredColumn::Append(const QVariant& value)
{
    const int row = m_size;
    if (!value.isValid() || value.isNull()) {
        const int type = value.isValid() ? value.metaType().id() : 0;
        if (m_nullType < 0)
            m_nullType = type;
        AppendPlaceholder();
        if (type == m_nullType)
            SetBit(m_nulls, row, true);
        else
            m_aside.insert(row, value);
        ++m_size;
        return;
    }
    if (m_kind == Kind::Undecided)
        Decide(value);
    if (Fits(value)) {
        AppendTyped(value);
    } else {
        AppendPlaceholder();
        m_aside.insert(row, value);
    }
    ++m_size;
}

void StoredColumn::AppendBool(bool value)
{
    if (m_kind == Kind::Integer && m_type == QMetaType::Bool) {
        m_integers.push_back(value);
        ++m_size;
        return;
    }
    Append(QVariant(value));
}

bool StoredColumn::AppendToArena(Kind kind, const char* data, qsizetype size)
{
    if (m_kind != kind)
        return false;
    m_arena.Append(data, size);
    m_ends.push_back(qint64(m_arena.Size()));
    ++m_size;
    return true;
}

void StoredColumn::AppendUtf8(const char* data, qsizetype size)
{
    if (m_kind == Kind::Undecided)
        Decide(QVariant(QString()));
    // Bytes that are not UTF-8 are decoded when read, as they would have been here.
    if (!AppendToArena(Kind::Text, data, size))
        Append(QVariant(QString::fromUtf8(data, size)));
}

void StoredColumn::AppendBytes(const char* data, qsizetype size)
{
    if (m_kind == Kind::Undecided)
        Decide(QVariant(QByteArray()));
    if (!AppendToArena(Kind::Bytes, data, size))
        Append(QVariant(QByteArray(data, size)));
}

void StoredColumn::AppendAbsentBit()
{
    AppendPlaceholder();
    SetBit(m_absent, m_size, true);
    ++m_size;
}

void StoredColumn::Set(int row, const QVariant& value)
{
    if (row < m_leadingAbsent) {
        for (int i = 0; i < m_leadingAbsent; ++i)
            SetBit(m_absent, i, true);
        m_leadingAbsent = 0;
    }
    SetBit(m_absent, row, false);
    m_aside.insert(row, value);
}

bool StoredColumn::IsTyped(int row) const
{
    return m_kind != Kind::Undecided && m_kind != Kind::Variant && !Bit(m_nulls, row) && !IsAbsent(row)
        && (m_aside.isEmpty() || !m_aside.contains(row));
}

QByteArrayView StoredColumn::BytesAt(int row, QByteArray& scratch) const
{
    const quint64 end = quint64(m_ends[size_t(row)]);
    const quint64 start = row == 0 ? 0 : quint64(m_ends[size_t(row) - 1]);
    return m_arena.Slice(start, qsizetype(end - start), scratch);
}

void StoredColumn::PrefetchCell(int row) const
{
    switch (m_kind) {
    case Kind::Integer:
        __builtin_prefetch(m_integers.Address(size_t(row)));
        break;
    case Kind::Real:
        __builtin_prefetch(&m_reals[size_t(row)]);
        break;
    case Kind::Text: case Kind::Bytes:
        __builtin_prefetch(m_ends.Address(size_t(row)));
        break;
    default:
        break;
    }
}

void StoredColumn::PrefetchBytes(int row) const
{
    if (m_kind != Kind::Text && m_kind != Kind::Bytes)
        return;
    const quint64 start = row == 0 ? 0 : quint64(m_ends[size_t(row) - 1]);
    if (start < m_arena.Size())
        __builtin_prefetch(m_arena.Address(start));
}

QVariant StoredColumn::TypedValue(int row) const
{
    switch (m_kind) {
    case Kind::Undecided:
        return {};
    case Kind::Integer: {
        const qint64 n = m_integers[size_t(row)];
        switch (m_type) {
        case QMetaType::Bool: return QVariant(n != 0);
        case QMetaType::Int: return QVariant(int(n));
        case QMetaType::UInt: return QVariant(uint(n));
        case QMetaType::ULongLong: return QVariant(quint64(n));
        case QMetaType::QDate: return QVariant(QDate::fromJulianDay(n));
        case QMetaType::QTime: return QVariant(QTime::fromMSecsSinceStartOfDay(int(n)));
        case QMetaType::QDateTime: {
            const qint64 day = FloorDiv(n, MsPerDay);
            const QTime time = QTime::fromMSecsSinceStartOfDay(int(n - day * MsPerDay));
            return QVariant(QDateTime(QDate::fromJulianDay(day), time, m_timeBasis, m_offset));
        }
        default: return QVariant(qlonglong(n));
        }
    }
    case Kind::Real:
        return QVariant(m_reals[size_t(row)]);
    case Kind::Text: {
        QByteArray scratch;
        const QByteArrayView bytes = BytesAt(row, scratch);
        return QVariant(QString::fromUtf8(bytes.data(), bytes.size()));
    }
    case Kind::Bytes: {
        QByteArray scratch;
        const QByteArrayView bytes = BytesAt(row, scratch);
        return QVariant(QByteArray(bytes.data(), bytes.size()));
    }
    case Kind::Variant:
        return m_variants[size_t(row)];
    }
    return {};
}

QVariant StoredColumn::UntypedValue(int row) const
{
    if (!m_aside.isEmpty()) {
        const auto it = m_aside.constFind(row);
        if (it != m_aside.constEnd())
            return it.value();
    }
    if (IsAbsent(row))
        return {};
    if (Bit(m_nulls, row))
        return m_nullType > 0 ? QVariant(QMetaType(m_nullType)) : QVariant();
    return TypedValue(row);
}

size_t StoredColumn::MemoryBytes() const
{
    return sizeof(*this) + (m_nulls.capacity() + m_absent.capacity()) * sizeof(quint64) + m_integers.MemoryBytes()
        + m_reals.MemoryBytes() + m_ends.MemoryBytes() + m_arena.MemoryBytes() + m_variants.MemoryBytes()
        + size_t(m_aside.capacity()) * (sizeof(int) + sizeof(QVariant) + 16);
}

} // namespace ado
