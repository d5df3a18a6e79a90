#include "ado/RowComparator.h"

#include "ado/AdoError.h"
#include "ado/AdoType.h"
#include "ado/ColumnInfo.h"

#include <QDateTime>
#include <QStringList>
#include <algorithm>

namespace ado {

namespace {

// A value reduced once to what the comparison needs, so sorting a million rows does not
// convert variants on every comparison.
struct SortValue {
    int rank = 0; // 0 null, 1 number, 2 date/time, 3 text, 4 bytes/other
    bool isInteger = false;
    bool isDecimal = false; // text holds an exact decimal
    qint64 integer = 0;
    double number = 0;
    QString text;
    QByteArray bytes;
};

// -1, 0 or 1 for two exact decimal texts, digit by digit so that no digit is lost.
int CompareDecimals(QStringView a, QStringView b)
{
    const bool negA = a.startsWith(u'-');
    const bool negB = b.startsWith(u'-');
    const auto split = [](QStringView s, QStringView& whole, QStringView& fraction) {
        if (s.startsWith(u'-') || s.startsWith(u'+'))
            s = s.mid(1);
        const qsizetype point = s.indexOf(u'.');
        whole = point < 0 ? s : s.left(point);
        fraction = point < 0 ? QStringView() : s.mid(point + 1);
        while (!whole.isEmpty() && whole.front() == u'0')
            whole = whole.mid(1);
        while (!fraction.isEmpty() && fraction.back() == u'0')
            fraction.chop(1);
    };
    QStringView wa, fa, wb, fb;
    split(a, wa, fa);
    split(b, wb, fb);
    const bool zeroA = wa.isEmpty() && fa.isEmpty();
    const bool zeroB = wb.isEmpty() && fb.isEmpty();
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

SortValue Reduce(const QVariant& v, int type)
{
    SortValue s;
    if (!v.isValid() || v.isNull())
        return s;
    if (type == AdoType::Numeric && v.metaType().id() == QMetaType::QString) {
        const QString exact = AdoType::DecimalText(v.toString());
        if (!exact.isEmpty()) {
            s.rank = 1;
            s.isDecimal = true;
            s.text = exact;
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
    case QMetaType::QByteArray:
        s.rank = 4;
        s.bytes = v.toByteArray();
        break;
    default:
        s.rank = 3;
        // Folded once here, so that comparing is a plain compare.
        s.text = v.toString().toCaseFolded();
        break;
    }
    return s;
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
            return CompareDecimals(a.text, b.text);
        return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
    case 2:
        return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
    case 3: {
        const int c = a.text.compare(b.text);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    default: {
        const int c = a.bytes.compare(b.bytes);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
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

void RowComparator::Sort(std::vector<int>& order, const std::vector<QVector<QVariant>>& rows, const QVector<Key>& keys)
{
    if (keys.isEmpty() || order.size() < 2)
        return;
    // One reduced value per row and key, indexed by row.
    std::vector<std::vector<SortValue>> reduced(keys.size());
    for (int k = 0; k < keys.size(); ++k) {
        reduced[k].resize(rows.size());
        for (int row : order)
            reduced[k][row] = Reduce(rows[row].value(keys[k].column), keys[k].type);
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        for (int k = 0; k < keys.size(); ++k) {
            int c = CompareReduced(reduced[k][a], reduced[k][b]);
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
    return CompareReduced(Reduce(a, 0), Reduce(b, 0));
}

} // namespace ado

