#include "ado/fileengine/paradox/ParadoxTableReader.h"

#include "ado/AdoError.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace ado {

namespace {

constexpr int BlockHeaderSize = 6;
constexpr int BcdSize = 17;
// Day 1 of Paradox's calendar is 1 January of year 1, Julian day 1721426.
constexpr qint64 JulianDayOfDayZero = 1721425;

bool AllZero(const char* p, int n)
{
    for (int i = 0; i < n; ++i) {
        if (p[i] != 0)
            return false;
    }
    return true;
}

// Big-endian with the sign bit flipped, so that the bytes sort as the numbers do.
qint64 FlippedInteger(const char* p, int n)
{
    quint64 v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | quint8(p[i]);
    const quint64 sign = quint64(1) << (n * 8 - 1);
    v ^= sign;
    if (v & sign)
        v |= ~((sign << 1) - 1);
    return qint64(v);
}

// Positive doubles have their sign bit set; negative ones have every bit inverted.
double FlippedDouble(const char* p)
{
    quint64 v = qFromBigEndian<quint64>(p);
    v = (v & 0x8000000000000000ull) ? v ^ 0x8000000000000000ull : ~v;
    double d;
    std::memcpy(&d, &v, sizeof d);
    return d;
}

// First byte: sign (0x80 positive), 0x40 when not null, the decimals below; then 32
// digits, one per nibble, all inverted for a negative number.
QVariant BcdValue(const char* p, int decimals)
{
    const quint8 head = quint8(p[0]);
    if (!(head & 0x40))
        return {};
    const bool negative = !(head & 0x80);
    QString digits;
    for (int i = 0; i < 32; ++i) {
        quint8 nibble = (quint8(p[1 + i / 2]) >> (i % 2 ? 0 : 4)) & 0x0f;
        if (negative)
            nibble = 0x0f - nibble;
        // Digits past the stored precision are not digits; they end the number.
        if (nibble > 9)
            break;
        digits += QChar(u'0' + nibble);
    }
    digits = digits.leftJustified(32, u'0');
    const int scale = qBound(0, decimals, 32);
    QString text = digits.left(32 - scale);
    while (text.size() > 1 && text.front() == u'0')
        text.remove(0, 1);
    if (text.isEmpty())
        text = QStringLiteral("0");
    if (scale > 0)
        text += u'.' + digits.mid(32 - scale);
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? QVariant(negative ? -value : value) : QVariant();
}

QString CodecFor(int codePage, const QByteArray& sortOrder)
{
    if (codePage == 0 && sortOrder.startsWith("BLROM8"))
        return QStringLiteral("hp-roman8");
    if (codePage == 0)
        codePage = 437;
    if (codePage >= 1250 && codePage <= 1258)
        return QStringLiteral("windows-%1").arg(codePage);
    const QString ibm = QStringLiteral("IBM%1").arg(codePage);
    if (QStringDecoder(ibm.toLatin1().constData()).isValid())
        return ibm;
    return QStringLiteral("windows-1252");
}

} // namespace

ParadoxTableReader::ParadoxTableReader(const QString& path)
    : m_file(path)
{
    if (!m_file.open(QIODevice::ReadOnly))
        throw AdoError(err::Unspecified, QStringLiteral("Could not open the Paradox table '%1': %2").arg(path, m_file.errorString()));
    ReadHeader();
    const QFileInfo info(path);
    m_blobs = std::make_unique<ParadoxBlobFile>(info.dir().filePath(info.completeBaseName() + QStringLiteral(".mb")));
    if (!m_blobs->IsOpen())
        m_blobs = std::make_unique<ParadoxBlobFile>(info.dir().filePath(info.completeBaseName() + QStringLiteral(".MB")));
}

void ParadoxTableReader::Damaged(const QString& why) const
{
    throw AdoError(err::Unspecified, QStringLiteral("The Paradox table '%1' cannot be read: %2")
                                         .arg(QFileInfo(m_file.fileName()).fileName(), why));
}

void ParadoxTableReader::ReadHeader()
{
    QByteArray h = m_file.read(0x78);
    if (h.size() < 0x58)
        Damaged(QStringLiteral("the file is too short for a table header."));
    const char* p = h.constData();
    m_recordSize = qFromLittleEndian<quint16>(p);
    m_headerSize = qFromLittleEndian<quint16>(p + 2);
    const int fileType = quint8(p[4]);
    m_blockSize = quint8(p[5]) * 1024;
    m_recordCount = qFromLittleEndian<quint32>(p + 6);
    m_fileBlocks = qFromLittleEndian<quint16>(p + 0x0C);
    m_firstBlock = qFromLittleEndian<quint16>(p + 0x0E);
    const int fieldCount = qFromLittleEndian<quint16>(p + 0x21);
    const int version = quint8(p[0x39]);
    if (fileType != 0 && fileType != 2)
        Damaged(QStringLiteral("it is not a data table (file type %1).").arg(fileType));
    if (m_recordSize <= 0 || m_blockSize <= 0 || m_blockSize > 32 * 1024 || m_recordSize > m_blockSize - BlockHeaderSize
        || m_headerSize < 0x58 || fieldCount <= 0 || m_headerSize > m_file.size())
        Damaged(QStringLiteral("its header is not valid."));

    // Paradox 4 and later data files carry a second header part with the code page.
    const bool extended = version >= 5;
    const quint32 encryption = extended ? (h.size() >= 0x78 ? qFromLittleEndian<quint32>(p + 0x5C) : 1)
                                        : qFromLittleEndian<quint32>(p + 0x25);
    if (extended ? encryption != 0 : encryption != 0 && encryption != 0xff00ff00u)
        throw AdoError(err::Unspecified, QStringLiteral("The Paradox table '%1' is protected by a password; it cannot be read here.")
                                             .arg(QFileInfo(m_file.fileName()).fileName()));
    const int codePage = extended ? qFromLittleEndian<quint16>(p + 0x6A) : 437;

    if (!m_file.seek(0))
        Damaged(QStringLiteral("the file cannot be read."));
    h = m_file.read(m_headerSize);
    if (h.size() != m_headerSize)
        Damaged(QStringLiteral("the file is shorter than its header."));
    p = h.constData();
    int pos = extended ? 0x78 : 0x58;
    if (pos + fieldCount * 6 + 4 > m_headerSize)
        Damaged(QStringLiteral("its field list does not fit in its header."));
    int offset = 0;
    for (int i = 0; i < fieldCount; ++i) {
        Field f;
        f.type = quint8(p[pos + 2 * i]);
        f.size = quint8(p[pos + 2 * i + 1]);
        if (f.type == Bcd) {
            f.decimals = f.size;
            f.size = BcdSize;
        }
        f.offset = offset;
        offset += f.size;
        m_fields.append(f);
    }
    if (offset != m_recordSize)
        Damaged(QStringLiteral("its fields do not add up to its record size."));

    // Then a pointer to the table name, one per field name, the table name itself and the
    // field names, each ending with a zero byte.
    pos += fieldCount * 2 + 4 + fieldCount * 4 + (version >= 12 ? 261 : 79);
    QList<QByteArray> names;
    for (int i = 0; i < fieldCount; ++i) {
        const int end = h.indexOf('\0', pos);
        if (pos >= m_headerSize || end < 0)
            Damaged(QStringLiteral("its field names do not fit in its header."));
        names.append(h.mid(pos, end - pos));
        pos = end + 1;
    }
    pos += fieldCount * 2;
    const QByteArray sortOrder = pos < m_headerSize ? h.mid(pos, h.indexOf('\0', pos) - pos) : QByteArray();
    m_codec = CodecFor(codePage, sortOrder);
    for (int i = 0; i < fieldCount; ++i)
        m_fields[i].name = Decode(names.at(i));
}

QString ParadoxTableReader::Decode(const QByteArray& bytes) const
{
    QStringDecoder decoder(m_codec.toLatin1().constData());
    return decoder.isValid() ? decoder.decode(bytes) : QString::fromLatin1(bytes);
}

void ParadoxTableReader::LoadBlock(int block)
{
    const int maxBlocks = int((m_file.size() - m_headerSize) / m_blockSize);
    const qint64 offset = m_headerSize + qint64(block - 1) * m_blockSize;
    if (block < 1 || block > maxBlocks || !m_file.seek(offset))
        Damaged(QStringLiteral("block %1 lies outside the file.").arg(block));
    m_visited.resize(maxBlocks + 1);
    if (m_visited.testBit(block))
        Damaged(QStringLiteral("its blocks are linked in a loop."));
    m_visited.setBit(block);
    m_block = m_file.read(m_blockSize);
    if (m_block.size() != m_blockSize)
        Damaged(QStringLiteral("block %1 is cut short.").arg(block));
    const char* p = m_block.constData();
    m_nextBlock = qFromLittleEndian<quint16>(p);
    // The offset of the block's last record, negative when the block is empty.
    const int lastOffset = qFromLittleEndian<qint16>(p + 4);
    m_recordsInBlock = lastOffset < 0 ? 0 : lastOffset / m_recordSize + 1;
    m_indexInBlock = 0;
    if (BlockHeaderSize + qint64(m_recordsInBlock) * m_recordSize > m_blockSize)
        Damaged(QStringLiteral("block %1 claims more records than it can hold.").arg(block));
}

bool ParadoxTableReader::Next()
{
    if (!m_started) {
        m_started = true;
        m_nextBlock = m_firstBlock;
    }
    while (m_indexInBlock >= m_recordsInBlock) {
        if (m_nextBlock == 0 || m_rowNumber >= m_recordCount) {
            if (m_rowNumber != m_recordCount)
                Damaged(QStringLiteral("its header counts %1 records but its blocks hold %2.").arg(m_recordCount).arg(m_rowNumber));
            return false;
        }
        LoadBlock(m_nextBlock);
    }
    ++m_indexInBlock;
    ++m_rowNumber;
    return true;
}

QVariant ParadoxTableReader::Value(int field)
{
    const Field& f = m_fields.at(field);
    const char* p = m_block.constData() + BlockHeaderSize + qint64(m_indexInBlock - 1) * m_recordSize + f.offset;
    if (f.type == Bcd)
        return BcdValue(p, f.decimals);
    if (AllZero(p, f.size))
        return {};
    switch (f.type) {
    case Alpha:
        return Decode(QByteArray(p, int(qstrnlen(p, f.size))));
    case Date: {
        // Paradox dates run from year 1 to 9999.
        const QDate d = QDate::fromJulianDay(FlippedInteger(p, 4) + JulianDayOfDayZero);
        return d.isValid() && d.year() >= 1 ? QVariant(d) : QVariant();
    }
    case Short:
        return FlippedInteger(p, 2);
    case Long:
    case AutoInc:
        return FlippedInteger(p, 4);
    case Currency:
    case Number:
        return FlippedDouble(p);
    case Logical:
        return (quint8(p[0]) & 0x7f) != 0;
    case Time: {
        const qint64 ms = FlippedInteger(p, 4);
        return ms >= 0 && ms < 86400000 ? QVariant(QTime::fromMSecsSinceStartOfDay(int(ms))) : QVariant();
    }
    case Timestamp: {
        // Milliseconds since the start of day 0 of the calendar above.
        const double ms = FlippedDouble(p);
        if (!std::isfinite(ms) || std::fabs(ms) > 1e15)
            return {};
        const qint64 total = std::llround(ms);
        const qint64 day = total >= 0 ? total / 86400000 : -((-total + 86399999) / 86400000);
        const QDate date = QDate::fromJulianDay(day + JulianDayOfDayZero);
        const QTime time = QTime::fromMSecsSinceStartOfDay(int(total - day * 86400000));
        return date.isValid() && date.year() >= 1 ? QVariant(QDateTime(date, time, Qt::UTC)) : QVariant();
    }
    case Memo:
    case FormattedMemo:
        return BlobValue(f, p, true);
    case Blob:
    case Ole:
    case Graphic:
        return BlobValue(f, p, false);
    case Bytes:
        return QByteArray(p, f.size);
    default:
        return {};
    }
}

// A memo or BLOB field keeps the leading part of its value in the record, followed by
// 10 bytes: where the whole value is in the .MB file, its length and a change number.
QVariant ParadoxTableReader::BlobValue(const Field& field, const char* p, bool text)
{
    const int leader = field.size - 10;
    if (leader < 0)
        return {};
    const quint32 pointer = qFromLittleEndian<quint32>(p + leader);
    const quint32 length = qFromLittleEndian<quint32>(p + leader + 4);
    QByteArray bytes;
    if (pointer == 0 || !m_blobs->IsOpen())
        bytes = QByteArray(p, qMin<int>(leader, int(qMin<quint32>(length, quint32(leader)))));
    else
        bytes = m_blobs->Read(pointer, length);
    if (!text)
        return bytes;
    const qsizetype end = bytes.indexOf('\0');
    return Decode(end >= 0 ? bytes.left(end) : bytes);
}

} // namespace ado
