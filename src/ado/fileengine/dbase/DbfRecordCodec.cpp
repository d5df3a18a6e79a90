#include "ado/fileengine/dbase/DbfRecordCodec.h"

#include "ado/AdoError.h"
#include "ado/fileengine/dbase/DbfFile.h"
#include "ado/fileengine/dbase/DbfMemoFile.h"

#include <QDateTime>
#include <QtEndian>
#include <cmath>

namespace ado {

namespace {

const uchar* U(const char* p)
{
    return reinterpret_cast<const uchar*>(p);
}

bool IsMemoType(const DbfField& f, bool visualFoxPro)
{
    return f.type == 'M' || f.type == 'G' || f.type == 'P' || (f.type == 'B' && !visualFoxPro);
}

// Text fields are padded with blanks (some writers use NULs).
QByteArray RightTrimmed(const char* p, int length)
{
    while (length > 0 && (p[length - 1] == ' ' || p[length - 1] == '\0'))
        --length;
    return QByteArray(p, length);
}

QByteArray Trimmed(const char* p, int length)
{
    int begin = 0;
    int end = length;
    while (end > 0 && (p[end - 1] == ' ' || p[end - 1] == '\0'))
        --end;
    while (begin < end && p[begin] == ' ')
        ++begin;
    return QByteArray(p + begin, end - begin);
}

[[noreturn]] void Refuse(const QString& text)
{
    throw AdoError(err::Unspecified, text);
}

QString Describe(const DbfField& f)
{
    if (f.type == 'N' || f.type == 'F')
        return QStringLiteral("'%1' %2(%3,%4)").arg(f.name, QChar::fromLatin1(f.type)).arg(f.length).arg(f.decimals);
    return QStringLiteral("'%1' %2(%3)").arg(f.name, QChar::fromLatin1(f.type)).arg(f.length);
}

bool IsEmptyText(const QVariant& v)
{
    return v.metaType().id() == QMetaType::QString && v.toString().trimmed().isEmpty();
}

// Numbers arrive as integers, reals or text (SQLite keeps what the statement wrote).
bool ToNumber(const QVariant& v, qint64* integer, double* real, bool* isInteger)
{
    switch (v.metaType().id()) {
    case QMetaType::Bool: case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt:
        *integer = v.toLongLong();
        *real = double(*integer);
        *isInteger = true;
        return true;
    case QMetaType::Double: case QMetaType::Float:
        *real = v.toDouble();
        *isInteger = false;
        return std::isfinite(*real);
    default: {
        const QString text = v.toString().trimmed();
        bool ok = false;
        *integer = text.toLongLong(&ok);
        if (ok) {
            *real = double(*integer);
            *isInteger = true;
            return true;
        }
        *real = text.toDouble(&ok);
        *isInteger = false;
        return ok && std::isfinite(*real);
    }
    }
}

QDateTime ToDateTime(const QVariant& v)
{
    switch (v.metaType().id()) {
    case QMetaType::QDate:
        return QDateTime(v.toDate(), QTime(0, 0), Qt::UTC);
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        return QDateTime(dt.date(), dt.time(), Qt::UTC);
    }
    default:
        break;
    }
    const QString text = v.toString().trimmed();
    for (const char* format : {"yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd", "yyyyMMdd"}) {
        const QDateTime dt = QDateTime::fromString(text, QLatin1String(format));
        if (dt.isValid())
            return QDateTime(dt.date(), dt.time(), Qt::UTC);
    }
    return {};
}

} // namespace

DbfRecordCodec::DbfRecordCodec(DbfFile* file, DbfMemoFile* memo, QString memoName)
    : m_file(file), m_memo(memo), m_memoName(std::move(memoName))
{
    for (int i = 0; i < m_file->Fields().size(); ++i) {
        if (!m_file->Fields()[i].IsSystem())
            m_visible.append(i);
    }
}

QString DbfRecordCodec::DeclaredType(const DbfField& f, bool visualFoxPro)
{
    switch (f.type) {
    case 'C': case 'V':
        return QStringLiteral("VARCHAR(%1)").arg(f.length);
    case 'N':
        return QStringLiteral("NUMERIC(%1,%2)").arg(f.length).arg(f.decimals);
    case 'F': case 'O':
        return QStringLiteral("DOUBLE");
    case 'D':
        return QStringLiteral("DATE");
    case 'L':
        return QStringLiteral("BOOLEAN");
    case 'M':
        return QStringLiteral("MEMO");
    case 'I': case '+':
        return QStringLiteral("INTEGER");
    case 'Y':
        return QStringLiteral("CURRENCY");
    case 'T': case '@':
        return QStringLiteral("DATETIME");
    case 'B':
        return visualFoxPro ? QStringLiteral("DOUBLE") : QStringLiteral("BLOB");
    default:
        return QStringLiteral("BLOB");
    }
}

QVector<FileColumn> DbfRecordCodec::Columns() const
{
    QVector<FileColumn> columns;
    for (int i : m_visible) {
        const DbfField& f = m_file->Fields()[i];
        columns.append({f.name, DeclaredType(f, m_file->IsVisualFoxPro())});
    }
    return columns;
}

bool DbfRecordCodec::IsNullBitSet(const char* record, int bit) const
{
    if (bit < 0 || m_file->NullFlagsField() < 0)
        return false;
    const DbfField& flags = m_file->Fields()[m_file->NullFlagsField()];
    return U(record + flags.offset)[bit / 8] & (1 << (bit % 8));
}

void DbfRecordCodec::SetBit(QByteArray& record, int bit, bool on) const
{
    if (bit < 0 || m_file->NullFlagsField() < 0)
        return;
    const DbfField& flags = m_file->Fields()[m_file->NullFlagsField()];
    char& byte = record[flags.offset + bit / 8];
    byte = on ? char(byte | (1 << (bit % 8))) : char(byte & ~(1 << (bit % 8)));
}

QVariant DbfRecordCodec::Value(const char* record, int column) const
{
    return Decode(m_file->Fields()[m_visible[column]], record);
}

QVariant DbfRecordCodec::Decode(const DbfField& f, const char* record) const
{
    if (IsNullBitSet(record, f.nullBit))
        return {};
    const char* p = record + f.offset;
    const bool vfp = m_file->IsVisualFoxPro();
    if (IsMemoType(f, vfp))
        return ReadMemo(f, QByteArray(p, f.length));
    switch (f.type) {
    case 'C':
        return m_file->CodePage().Decode(RightTrimmed(p, f.length));
    case 'V': case 'Q': {
        int length = f.length;
        if (IsNullBitSet(record, f.varBit))
            length = qMin<int>(U(p)[f.length - 1], f.length - 1);
        const QByteArray bytes(p, length);
        if (f.type == 'Q')
            return bytes;
        return m_file->CodePage().Decode(RightTrimmed(p, length));
    }
    case 'N': case 'F': {
        const QByteArray text = Trimmed(p, f.length);
        if (text.isEmpty() || text.startsWith('*'))
            return {};
        bool ok = false;
        if (f.decimals == 0 && !text.contains('.')) {
            const qint64 v = text.toLongLong(&ok);
            if (ok)
                return v;
        }
        const double d = text.toDouble(&ok);
        return ok ? QVariant(d) : QVariant();
    }
    case 'D': {
        // Eight digits, parsed by hand: QDate::fromString dominates a full scan otherwise.
        if (f.length < 8)
            return {};
        int digits[8];
        for (int i = 0; i < 8; ++i) {
            if (p[i] < '0' || p[i] > '9')
                return {};
            digits[i] = p[i] - '0';
        }
        const QDate date(digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3], digits[4] * 10 + digits[5], digits[6] * 10 + digits[7]);
        return date.isValid() ? QVariant(date) : QVariant();
    }
    case 'L':
        switch (p[0]) {
        case 'T': case 't': case 'Y': case 'y':
            return true;
        case 'F': case 'f': case 'N': case 'n':
            return false;
        default:
            return {};
        }
    case 'I':
        if (f.length != 4)
            break;
        return qint64(qFromLittleEndian<qint32>(U(p)));
    case '+':
        if (f.length != 4)
            break;
        return qint64(qint32(qFromBigEndian<quint32>(U(p)) ^ 0x80000000u));
    case 'Y':
        if (f.length != 8)
            break;
        return double(qFromLittleEndian<qint64>(U(p))) / 10000.0;
    case 'B': case 'O': {
        if (f.length != 8)
            break;
        if (f.type == 'B')
            return qFromLittleEndian<double>(U(p));
        // dBase 7 keeps doubles big-endian with the sign bit flipped so that bytes sort.
        quint64 bits = qFromBigEndian<quint64>(U(p));
        if (bits == 0)
            return {};
        bits = (bits & 0x8000000000000000ull) ? bits & ~0x8000000000000000ull : ~bits;
        double d;
        memcpy(&d, &bits, sizeof d);
        return d;
    }
    case 'T': {
        if (f.length != 8)
            break;
        const qint32 day = qFromLittleEndian<qint32>(U(p));
        const qint32 ms = qFromLittleEndian<qint32>(U(p) + 4);
        if (day <= 0)
            return {};
        const QDate date = QDate::fromJulianDay(day);
        if (!date.isValid() || ms < 0 || ms >= 86400000)
            return {};
        return QDateTime(date, QTime::fromMSecsSinceStartOfDay(ms), Qt::UTC);
    }
    default:
        break;
    }
    return QByteArray(p, f.length);
}

QVariant DbfRecordCodec::ReadMemo(const DbfField& f, const QByteArray& raw) const
{
    qint64 block = 0;
    if (raw.size() == 4) {
        block = qFromLittleEndian<quint32>(U(raw.constData()));
    } else {
        const QByteArray text = raw.trimmed();
        bool ok = false;
        block = text.isEmpty() ? 0 : text.toLongLong(&ok);
        if (!ok)
            block = 0;
    }
    if (block <= 0)
        return {};
    if (!m_memo)
        throw AdoError(err::Unspecified, QStringLiteral("The memo file '%1' of the table '%2' is missing: the field '%3' cannot be read.")
                                             .arg(m_memoName, m_file->Name(), f.name));
    bool binary = false;
    const QByteArray bytes = m_memo->Read(block, &binary);
    if (f.type == 'M' && !binary)
        return m_file->CodePage().Decode(bytes);
    return bytes;
}

QByteArray DbfRecordCodec::MemoPointer(const DbfField& f, qint64 block) const
{
    if (f.length == 4) {
        // The caller puts the memo file back when the pointer is refused.
        QByteArray b(4, '\0');
        qToLittleEndian<quint32>(quint32(block), reinterpret_cast<uchar*>(b.data()));
        return b;
    }
    if (block <= 0)
        return QByteArray(f.length, ' ');
    const QByteArray text = QByteArray::number(block);
    if (text.size() > f.length)
        Refuse(QStringLiteral("The memo block %1 does not fit the field %2.").arg(block).arg(Describe(f)));
    return text.rightJustified(f.length, ' ');
}

QByteArray DbfRecordCodec::EncodeField(const DbfField& f, const QVariant& v) const
{
    const bool null = !v.isValid() || v.isNull();
    switch (f.type) {
    case 'C': case 'V': {
        if (null)
            return f.type == 'C' ? QByteArray(f.length, ' ') : QByteArray(f.length, '\0');
        const QByteArray bytes = v.metaType().id() == QMetaType::QByteArray ? v.toByteArray()
                                                                            : m_file->CodePage().Encode(v.toString(), f.name);
        if (bytes.size() > f.length)
            Refuse(QStringLiteral("The value is too long for the field %1: %2 bytes.").arg(Describe(f)).arg(bytes.size()));
        return f.type == 'C' ? bytes.leftJustified(f.length, ' ') : bytes.leftJustified(f.length, '\0');
    }
    case 'N': case 'F': {
        if (null || IsEmptyText(v))
            return QByteArray(f.length, ' ');
        qint64 integer = 0;
        double real = 0;
        bool isInteger = false;
        if (!ToNumber(v, &integer, &real, &isInteger))
            Refuse(QStringLiteral("'%1' is not a number (field %2).").arg(v.toString(), Describe(f)));
        QByteArray text;
        if (isInteger)
            text = QByteArray::number(integer) + (f.decimals > 0 ? '.' + QByteArray(f.decimals, '0') : QByteArray());
        else
            text = QByteArray::number(real, 'f', f.decimals);
        if (text == "-0" || (text.startsWith("-0.") && text.count('0') == text.size() - 2))
            text = text.mid(1);
        if (text.size() > f.length)
            Refuse(QStringLiteral("The number %1 is too wide for the field %2.").arg(QString::fromLatin1(text), Describe(f)));
        return text.rightJustified(f.length, ' ');
    }
    case 'D': {
        if (null || IsEmptyText(v))
            return QByteArray(f.length, ' ');
        const QDateTime dt = ToDateTime(v);
        if (!dt.isValid() || dt.date().year() < 1 || dt.date().year() > 9999)
            Refuse(QStringLiteral("'%1' is not a date (field %2).").arg(v.toString(), Describe(f)));
        return dt.date().toString(QStringLiteral("yyyyMMdd")).toLatin1().leftJustified(f.length, ' ');
    }
    case 'L': {
        if (null || IsEmptyText(v))
            return QByteArray(f.length, '?');
        bool value = false;
        if (v.metaType().id() == QMetaType::QString) {
            const QString s = v.toString().trimmed().toLower();
            if (s == u"t" || s == u"true" || s == u"y" || s == u"yes" || s == u"1" || s == u"-1")
                value = true;
            else if (!(s == u"f" || s == u"false" || s == u"n" || s == u"no" || s == u"0"))
                Refuse(QStringLiteral("'%1' is not a logical value (field %2).").arg(v.toString(), Describe(f)));
        } else {
            value = v.toDouble() != 0;
        }
        return QByteArray(1, value ? 'T' : 'F').leftJustified(f.length, ' ');
    }
    case 'I': case 'Y': case 'B': {
        if (f.length != (f.type == 'I' ? 4 : 8))
            Refuse(QStringLiteral("The field %1 has a length its type does not allow; it cannot be written.").arg(Describe(f)));
        QByteArray b(f.length, '\0');
        if (null || IsEmptyText(v))
            return b;
        qint64 integer = 0;
        double real = 0;
        bool isInteger = false;
        if (!ToNumber(v, &integer, &real, &isInteger))
            Refuse(QStringLiteral("'%1' is not a number (field %2).").arg(v.toString(), Describe(f)));
        auto* p = reinterpret_cast<uchar*>(b.data());
        if (f.type == 'I') {
            if (!isInteger && real == std::floor(real) && std::fabs(real) < 4e9)
                integer = qint64(real), isInteger = true;
            if (!isInteger || integer < INT32_MIN || integer > INT32_MAX)
                Refuse(QStringLiteral("%1 does not fit the integer field %2.").arg(v.toString(), Describe(f)));
            qToLittleEndian<qint32>(qint32(integer), p);
        } else if (f.type == 'Y') {
            const double scaled = std::round((isInteger ? double(integer) : real) * 10000.0);
            if (std::fabs(scaled) >= 9.2e18)
                Refuse(QStringLiteral("%1 does not fit the currency field %2.").arg(v.toString(), Describe(f)));
            qToLittleEndian<qint64>(qint64(scaled), p);
        } else {
            qToLittleEndian<double>(isInteger ? double(integer) : real, p);
        }
        return b;
    }
    case 'T': {
        if (f.length != 8)
            Refuse(QStringLiteral("The field %1 has a length its type does not allow; it cannot be written.").arg(Describe(f)));
        QByteArray b(f.length, '\0');
        if (null || IsEmptyText(v))
            return b;
        const QDateTime dt = ToDateTime(v);
        if (!dt.isValid())
            Refuse(QStringLiteral("'%1' is not a date and time (field %2).").arg(v.toString(), Describe(f)));
        auto* p = reinterpret_cast<uchar*>(b.data());
        qToLittleEndian<qint32>(qint32(dt.date().toJulianDay()), p);
        qToLittleEndian<qint32>(dt.time().msecsSinceStartOfDay(), p + 4);
        return b;
    }
    default:
        Refuse(QStringLiteral("The field %1 cannot be written.").arg(Describe(f)));
    }
}

QByteArray DbfRecordCodec::Encode(const QVector<QVariant>& values, const QByteArray& old, bool inserting)
{
    if (values.size() != m_visible.size())
        Refuse(QStringLiteral("The table '%1' has %2 columns, not %3.").arg(m_file->Name()).arg(m_visible.size()).arg(values.size()));
    const bool vfp = m_file->IsVisualFoxPro();
    QByteArray record = old;
    record[0] = inserting ? ' ' : old[0];
    QVector<int> memoColumns;
    for (int c = 0; c < m_visible.size(); ++c) {
        const DbfField& f = m_file->Fields()[m_visible[c]];
        const QVariant& v = values[c];
        const bool null = !v.isValid() || v.isNull();
        if (IsMemoType(f, vfp)) {
            if (inserting || Decode(f, old.constData()) != v)
                memoColumns.append(c);
            continue;
        }
        QByteArray candidate = record;
        if (f.type == 'I' && f.IsAutoIncrement() && inserting && null) {
            QByteArray b(4, '\0');
            qToLittleEndian<qint32>(qint32(m_file->TakeAutoIncrement(m_visible[c])), reinterpret_cast<uchar*>(b.data()));
            candidate.replace(f.offset, f.length, b);
        } else {
            QByteArray bytes = EncodeField(f, v);
            // A damaged descriptor (a D field of 6 bytes...) must not shift the record.
            if (bytes.size() != f.length)
                Refuse(QStringLiteral("The field %1 has a length its type does not allow; it cannot be written.").arg(Describe(f)));
            if (f.type == 'V' || f.type == 'Q') {
                const int length = bytes.indexOf('\0') < 0 ? f.length : int(bytes.indexOf('\0'));
                const bool shorter = !null && length < f.length;
                if (shorter)
                    bytes[f.length - 1] = char(length);
                SetBit(candidate, f.varBit, shorter);
            }
            candidate.replace(f.offset, f.length, bytes);
            SetBit(candidate, f.nullBit, null);
        }
        if (inserting || Decode(f, candidate.constData()) != Decode(f, old.constData()))
            record = candidate;
    }
    // Every other value is in: now the memo blocks.
    for (int c : memoColumns) {
        const DbfField& f = m_file->Fields()[m_visible[c]];
        const QVariant& v = values[c];
        const bool null = !v.isValid() || v.isNull();
        QByteArray bytes;
        bool binary = f.type != 'M';
        if (!null) {
            if (v.metaType().id() == QMetaType::QByteArray) {
                bytes = v.toByteArray();
                binary = true;
            } else {
                bytes = m_file->CodePage().Encode(v.toString(), f.name);
            }
        }
        if (bytes.isEmpty()) {
            record.replace(f.offset, f.length, MemoPointer(f, 0));
            SetBit(record, f.nullBit, null);
            continue;
        }
        if (!m_memo)
            Refuse(QStringLiteral("The memo file '%1' of the table '%2' is missing: the field '%3' cannot be written.")
                       .arg(m_memoName, m_file->Name(), f.name));
        record.replace(f.offset, f.length, MemoPointer(f, m_memo->Append(bytes, binary)));
        SetBit(record, f.nullBit, false);
    }
    return record;
}

} // namespace ado
