#pragma once

#include "ado/ByteArena.h"
#include "ado/ChunkedArray.h"
#include "ado/PackedIntegers.h"

#include <QDate>
#include <QHash>
#include <QVariant>
#include <vector>

namespace ado {

// One column of a recordset's rows, held by type: integers, booleans, dates and times as
// unboxed 64-bit numbers, doubles unboxed, text as UTF-8 and bytes in an arena, nulls in a
// bitmap. The first non-null value decides the type. A value that does not fit it (another
// type in the same SQLite column, a null of another type, an edited value) is kept aside
// as it is, so that every value reads back exactly as it went in.
class StoredColumn {
public:
    enum class Kind { Undecided, Integer, Real, Text, Bytes, Variant };

    void Append(const QVariant& value);
    // The same as Append of a qlonglong, a double, a QString from UTF-8 or a QByteArray,
    // for a reader that has the value unboxed. The usual case of each, a value of the
    // column's own type, is inline: a fetch appends millions of them.
    void AppendInteger(qint64 value)
    {
        if (m_kind != Kind::Integer || m_type != QMetaType::LongLong) [[unlikely]]
            return Append(QVariant(qlonglong(value)));
        m_integers.push_back(value);
        ++m_size;
    }
    void AppendBool(bool value);
    void AppendDate(QDate value)
    {
        if (m_kind != Kind::Integer || m_type != QMetaType::QDate || !value.isValid()) [[unlikely]]
            return Append(QVariant(value));
        m_integers.push_back(value.toJulianDay());
        ++m_size;
    }
    void AppendReal(double value)
    {
        if (m_kind != Kind::Real) [[unlikely]]
            return Append(QVariant(value));
        m_reals.push_back(value);
        ++m_size;
    }
    void AppendUtf8(const char* data, qsizetype size);
    void AppendBytes(const char* data, qsizetype size);
    // A cell with no value of its own; it reads as an invalid QVariant. A column of raw
    // values is mostly absent from its first row on: those are only counted.
    void AppendAbsent()
    {
        if (m_size != m_leadingAbsent) [[unlikely]]
            return AppendAbsentBit();
        ++m_leadingAbsent;
        ++m_size;
    }
    void Set(int row, const QVariant& value);
    QVariant Value(int row) const
    {
        if (!m_aside.isEmpty() || IsAbsent(row) || Bit(m_nulls, row)) [[unlikely]]
            return UntypedValue(row);
        return TypedValue(row);
    }
    bool IsAbsent(int row) const { return row < m_leadingAbsent || Bit(m_absent, row); }
    int Size() const { return m_size; }
    size_t MemoryBytes() const;

    // Typed reading, for sorting. A row is typed when its value is held unboxed under the
    // column's kind; any other row is read through Value.
    Kind GetKind() const { return m_kind; }
    int MetaType() const { return m_type; }
    bool IsTyped(int row) const;
    qint64 IntegerAt(int row) const { return m_integers[size_t(row)]; }
    double RealAt(int row) const { return m_reals[size_t(row)]; }
    // Ask the processor for a row's storage some rows ahead of reading it: the cell first,
    // then, once the cell is at hand, the bytes it points to.
    void PrefetchCell(int row) const;
    void PrefetchBytes(int row) const;
    // Text as UTF-8, or bytes; scratch holds them when they straddle two blocks.
    QByteArrayView BytesAt(int row, QByteArray& scratch) const;

private:
    void Decide(const QVariant& value);
    bool Fits(const QVariant& value) const;
    void AppendTyped(const QVariant& value);
    void AppendPlaceholder();
    void AppendAbsentBit();
    // A row kept aside, absent or null.
    QVariant UntypedValue(int row) const;
    // Appends text or bytes when the column is of that kind.
    bool AppendToArena(Kind kind, const char* data, qsizetype size);
    QVariant TypedValue(int row) const;
    static bool Bit(const std::vector<quint64>& bits, int row)
    {
        const size_t word = size_t(row) >> 6;
        return word < bits.size() && (bits[word] >> (row & 63)) & 1;
    }
    static void SetBit(std::vector<quint64>& bits, int row, bool on);

    Kind m_kind = Kind::Undecided;
    int m_type = 0;     // QMetaType id of the typed values
    Qt::TimeSpec m_timeBasis = Qt::LocalTime; // of typed date-times
    int m_offset = 0;   // seconds from UTC of typed date-times, with Qt::OffsetFromUTC
    int m_nullType = -1; // QMetaType id of the nulls in the bitmap (0: invalid QVariant); -1 none yet
    int m_size = 0;
    std::vector<quint64> m_nulls;
    std::vector<quint64> m_absent;
    int m_leadingAbsent = 0; // the first rows, absent every one, without their bits
    PackedIntegers m_integers;
    ChunkedArray<double> m_reals;
    PackedIntegers m_ends; // end offset in m_arena of each row's text or bytes
    ByteArena m_arena;
    ChunkedArray<QVariant> m_variants;
    QHash<int, QVariant> m_aside;
};

} // namespace ado
