#include "ado/RowComparator.h"

#include "ado/AdoError.h"
#include "ado/AdoType.h"
#include "ado/ColumnInfo.h"

#include "ado/ColumnStore.h"

#include <QDateTime>
#include <QStringList>
#include <algorithm>
#include <cstring>
#include <deque>
#include <string_view>

namespace ado {

namespace {

// A value reduced once to what the comparison needs, so sorting a million rows does not
// convert variants on every comparison.
struct SortValue {
    int rank = 0; // 0 null, 1 number, 2 date/time, 3 text, 4 bytes/other
    bool isInteger = false;
    bool isDecimal = false; // data holds an exact decimal
    qint64 integer = 0;
    double number = 0;
    // Text: UTF-8 whose ASCII letters are compared as lower case (any other letter is
    // folded already); bytes: themselves; decimal: its digits.
    const char* data = nullptr;
    qsizetype size = 0;
    quint64 prefix = 0; // text: its first 8 bytes as compared, big-endian
};

// Holds the bytes that sort values point to and that the rows do not.
class SortHeap {
public:
    const char* Keep(QByteArray bytes)
    {
        m_kept.push_back(std::move(bytes));
        return m_kept.back().constData();
    }

private:
    std::deque<QByteArray> m_kept;
};

unsigned char Lower(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? u + 32 : u;
}

void SetText(SortValue& s, const char* data, qsizetype size)
{
    s.rank = 3;
    s.data = data;
    s.size = size;
    s.prefix = 0;
    for (int i = 0; i < 8; ++i)
        s.prefix = (s.prefix << 8) | (i < size ? Lower(data[i]) : 0);
}

bool IsAscii(QByteArrayView bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// -1, 0 or 1 for two exact decimal texts, digit by digit so that no digit is lost.
int CompareDecimals(std::string_view a, std::string_view b)
{
    const bool negA = !a.empty() && a.front() == '-';
    const bool negB = !b.empty() && b.front() == '-';
    const auto split = [](std::string_view s, std::string_view& whole, std::string_view& fraction) {
        if (!s.empty() && (s.front() == '-' || s.front() == '+'))
            s.remove_prefix(1);
        const size_t point = s.find('.');
        whole = point == std::string_view::npos ? s : s.substr(0, point);
        fraction = point == std::string_view::npos ? std::string_view() : s.substr(point + 1);
        while (!whole.empty() && whole.front() == '0')
            whole.remove_prefix(1);
        while (!fraction.empty() && fraction.back() == '0')
            fraction.remove_suffix(1);
    };
    std::string_view wa, fa, wb, fb;
    split(a, wa, fa);
    split(b, wb, fb);
    const bool zeroA = wa.empty() && fa.empty();
    const bool zeroB = wb.empty() && fb.empty();
    const int signA = zeroA ? 0 : (negA ? -1 : 1);
    const int signB = zeroB ? 0 : (negB ? -1 : 1);
    if (signA != signB)
        return signA < signB ? -1 : 1;
    int c = 0;
    if (wa.size() != wb.size())
        c = wa.size() < wb.size() ? -1 : 1;
    else if (const int w = wa.compare(wb); w != 0)
        c = w < 0 ? -1 : 1;
    else if (const int f = fa.compare(fb); f != 0)
        c = f < 0 ? -1 : 1;
    return signA < 0 ? -c : c;
}

SortValue Reduce(const QVariant& v, int type, SortHeap& heap)
{
    SortValue s;
    if (!v.isValid() || v.isNull())
        return s;
    if (type == AdoType::Numeric && v.metaType().id() == QMetaType::QString) {
        const QString exact = AdoType::DecimalText(v.toString());
        if (!exact.isEmpty()) {
            s.rank = 1;
            s.isDecimal = true;
            const QByteArray digits = exact.toLatin1();
            s.size = digits.size();
            s.data = heap.Keep(digits);
            s.number = exact.toDouble();
            return s;
        }
    }
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        s.rank = 1;
        s.isInteger = true;
        s.integer = v.toBool() ? 1 : 0;
        s.number = double(s.integer);
        break;
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::Short: case QMetaType::Char:
    case QMetaType::UInt: case QMetaType::UShort: case QMetaType::UChar: case QMetaType::Long: case QMetaType::ULong:
        s.rank = 1;
        s.isInteger = true;
        s.integer = v.toLongLong();
        s.number = double(s.integer);
        break;
    case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Float:
        s.rank = 1;
        s.number = v.toDouble();
        break;
    case QMetaType::QDate:
        s.rank = 2;
        s.number = double(v.toDate().toJulianDay()) * 86400000.0;
        break;
    case QMetaType::QDateTime: {
        s.rank = 2;
        const QDateTime dt = v.toDateTime();
        s.number = double(dt.date().toJulianDay()) * 86400000.0 + dt.time().msecsSinceStartOfDay();
        break;
    }
    case QMetaType::QTime:
        s.rank = 2;
        s.number = v.toTime().msecsSinceStartOfDay();
        break;
    case QMetaType::QByteArray: {
        s.rank = 4;
        const QByteArray bytes = v.toByteArray();
        s.size = bytes.size();
        s.data = heap.Keep(bytes);
        break;
    }
    default: {
        // Folded once here, so that comparing is a plain compare.
        const QByteArray folded = v.toString().toCaseFolded().toUtf8();
        SetText(s, heap.Keep(folded), folded.size());
        break;
    }
    }
    return s;
}

// The same reduction read straight from a typed row of the store, without a QVariant.
SortValue ReduceTyped(const StoredColumn& column, int row, int type, SortHeap& heap, QByteArray& scratch)
{
    SortValue s;
    switch (column.GetKind()) {
    case StoredColumn::Kind::Integer: {
        const qint64 n = column.IntegerAt(row);
        switch (column.MetaType()) {
        case QMetaType::ULongLong:
            s.rank = 1;
            s.number = double(quint64(n));
            break;
        case QMetaType::QDate:
            s.rank = 2;
            s.number = double(n) * 86400000.0;
            break;
        case QMetaType::QTime: case QMetaType::QDateTime:
            s.rank = 2;
            s.number = double(n);
            break;
        default:
            s.rank = 1;
            s.isInteger = true;
            s.integer = n;
            s.number = double(n);
            break;
        }
        return s;
    }
    case StoredColumn::Kind::Real:
        s.rank = 1;
        s.number = column.RealAt(row);
        return s;
    case StoredColumn::Kind::Text: {
        if (type == AdoType::Numeric)
            break; // exact decimals come as text
        const QByteArrayView bytes = column.BytesAt(row, scratch);
        if (!IsAscii(bytes))
            break;
        // ASCII is compared as it is stored, its letters lowered while comparing.
        const char* data = bytes.data() == scratch.constData() ? heap.Keep(QByteArray(bytes.data(), bytes.size())) : bytes.data();
        SetText(s, data, bytes.size());
        return s;
    }
    case StoredColumn::Kind::Bytes: {
        const QByteArrayView bytes = column.BytesAt(row, scratch);
        s.rank = 4;
        s.size = bytes.size();
        s.data = bytes.data() == scratch.constData() ? heap.Keep(QByteArray(bytes.data(), bytes.size())) : bytes.data();
        return s;
    }
    default:
        break;
    }
    return Reduce(column.Value(row), type, heap);
}

int CompareText(const SortValue& a, const SortValue& b)
{
    if (a.prefix != b.prefix)
        return a.prefix < b.prefix ? -1 : 1;
    const qsizetype n = qMin(a.size, b.size);
    for (qsizetype i = 8; i < n; ++i) {
        const unsigned char x = Lower(a.data[i]), y = Lower(b.data[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    // Equal prefixes: the first 8 bytes are equal as far as both go.
    return a.size == b.size ? 0 : (a.size < b.size ? -1 : 1);
}

int CompareReduced(const SortValue& a, const SortValue& b)
{
    if (a.rank != b.rank)
        return a.rank < b.rank ? -1 : 1;
    switch (a.rank) {
    case 0:
        return 0;
    case 1:
        if (a.isInteger && b.isInteger)
            return a.integer < b.integer ? -1 : (a.integer > b.integer ? 1 : 0);
        if (a.isDecimal && b.isDecimal)
            return CompareDecimals(std::string_view(a.data, size_t(a.size)), std::string_view(b.data, size_t(b.size)));
        return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
    case 2:
        return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
    case 3:
        return CompareText(a, b);
    default: {
        const int c = std::memcmp(a.data, b.data, size_t(qMin(a.size, b.size)));
        if (c != 0)
            return c < 0 ? -1 : 1;
        return a.size == b.size ? 0 : (a.size < b.size ? -1 : 1);
    }
    }
}

QString Unbracket(QString name)
{
    name = name.trimmed();
    if (name.size() >= 2 && ((name.front() == u'[' && name.back() == u']') || (name.front() == u'"' && name.back() == u'"')))
        name = name.mid(1, name.size() - 2);
    return name;
}

} // namespace

QVector<RowComparator::Key> RowComparator::Parse(const QString& sort, const QVector<ColumnInfo>& columns)
{
    QVector<Key> keys;
    for (const QString& part : sort.split(u',', Qt::SkipEmptyParts)) {
        QString item = part.trimmed();
        if (item.isEmpty())
            continue;
        Key key;
        const QString upper = item.toUpper();
        if (upper.endsWith(QStringLiteral(" DESC"))) {
            key.descending = true;
            item.chop(5);
        } else if (upper.endsWith(QStringLiteral(" ASC"))) {
            item.chop(4);
        }
        const QString name = Unbracket(item);
        key.column = -1;
        for (int i = 0; i < columns.size(); ++i) {
            if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0) {
                key.column = i;
                key.type = columns[i].type;
                break;
            }
        }
        if (key.column < 0)
            throw AdoError(err::ItemNotFound,
                           QStringLiteral("Item cannot be found in the collection corresponding to the requested name or ordinal. (%1)").arg(name));
        keys.append(key);
    }
    return keys;
}

void RowComparator::Sort(std::vector<int>& order, const ColumnStore& rows, const QVector<Key>& keys)
{
    if (keys.isEmpty() || order.size() < 2)
        return;
    // One reduced value per row and key, indexed by row.
    SortHeap heap;
    QByteArray scratch;
    std::vector<std::vector<SortValue>> reduced(keys.size());
    for (int k = 0; k < keys.size(); ++k) {
        const StoredColumn& column = rows.Column(keys[k].column);
        reduced[k].resize(size_t(rows.RowCount()));
        for (int row : order)
            reduced[k][size_t(row)] = column.IsTyped(row) ? ReduceTyped(column, row, keys[k].type, heap, scratch)
                                                          : Reduce(column.Value(row), keys[k].type, heap);
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        for (int k = 0; k < keys.size(); ++k) {
            int c = CompareReduced(reduced[k][size_t(a)], reduced[k][size_t(b)]);
            if (keys[k].descending)
                c = -c;
            if (c != 0)
                return c < 0;
        }
        return false;
    });
}

int RowComparator::Compare(const QVariant& a, const QVariant& b)
{
    SortHeap heap;
    return CompareReduced(Reduce(a, 0, heap), Reduce(b, 0, heap));
}

} // namespace ado
