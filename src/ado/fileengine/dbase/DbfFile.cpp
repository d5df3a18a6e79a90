#include "ado/fileengine/dbase/DbfFile.h"

#include "ado/AdoError.h"
#include "ado/fileengine/FileIo.h"

#include <QDate>
#include <QIODevice>
#include <QSet>
#include <QtEndian>

namespace ado {

namespace {

// A failed write whose repair failed too: the message says both.
[[noreturn]] void NotPutBack(const AdoError& cause, const AdoError& repair)
{
    throw AdoError(cause.Number(), cause.Description() + QStringLiteral(" The file could not be put back as it was: ")
                                       + repair.Description());
}

[[noreturn]] void NotADbf(const QString& name, const QString& why)
{
    throw AdoError(err::Unspecified, QStringLiteral("The file '%1' is not a valid dBase table: %2").arg(name, why));
}

bool KnownVersion(quint8 v)
{
    switch (v) {
    case 0x02: case 0x03: case 0x04: case 0x05: case 0x30: case 0x31: case 0x32: case 0x43: case 0x63:
    case 0x7B: case 0x83: case 0x8B: case 0x8C: case 0xB3: case 0xCB: case 0xE5: case 0xF5: case 0xFB:
        return true;
    default:
        return false;
    }
}

const uchar* U(const QByteArray& b)
{
    return reinterpret_cast<const uchar*>(b.constData());
}

// Level 7 names its language driver ("DB437US0", "DBWINUS0"...).
QByteArray CodePageForDriverName(const QByteArray& driver)
{
    if (driver.startsWith("DBWIN") || driver.startsWith("ANSI"))
        return "windows-1252";
    if (driver.size() >= 5 && driver.startsWith("DB")) {
        bool ok = false;
        const int number = driver.mid(2, 3).toInt(&ok);
        if (ok)
            return "IBM" + QByteArray::number(number);
    }
    return {};
}

} // namespace

DbfFile::DbfFile(QIODevice* device, QString name, const QByteArray& codePage) : m_device(device), m_name(std::move(name))
{
    ParseHeader(codePage);
}

bool DbfFile::HasMemoFlag() const
{
    if (IsVisualFoxPro())
        return m_header.size() > 28 && (uchar(m_header[28]) & 0x02);
    return (m_version & 0x80) || m_version == 0xF5 || m_version == 0xE5;
}

void DbfFile::ParseHeader(const QByteArray& codePage)
{
    const qint64 size = FileIo::Size(m_device);
    const QByteArray first = FileIo::ReadSomeAt(m_device, 0, 32, m_name);
    if (first.size() < 32)
        NotADbf(m_name, QStringLiteral("it is shorter than a header."));
    m_version = U(first)[0];
    if (!KnownVersion(m_version))
        NotADbf(m_name, QStringLiteral("its version byte 0x%1 is unknown.").arg(m_version, 2, 16, QLatin1Char('0')));

    QByteArray driverName;
    quint8 driver = 0;
    if (IsDBase2()) {
        m_recordCount = qFromLittleEndian<quint16>(U(first) + 1);
        m_recordLength = qFromLittleEndian<quint16>(U(first) + 6);
        m_headerLength = 521;
    } else {
        m_recordCount = qFromLittleEndian<quint32>(U(first) + 4);
        m_headerLength = qFromLittleEndian<quint16>(U(first) + 8);
        m_recordLength = qFromLittleEndian<quint16>(U(first) + 10);
        driver = U(first)[29];
    }
    const int descriptorStart = IsDBase2() ? 8 : IsLevel7() ? 68 : 32;
    if (m_headerLength < descriptorStart + 1 || m_headerLength > size)
        NotADbf(m_name, QStringLiteral("its header length %1 does not fit the file of %2 bytes.").arg(m_headerLength).arg(size));
    if (m_recordLength < 2)
        NotADbf(m_name, QStringLiteral("its record length %1 is too small.").arg(m_recordLength));
    m_header = FileIo::ReadAt(m_device, 0, m_headerLength, m_name);
    if (IsLevel7())
        driverName = m_header.mid(32, 32).split('\0').value(0);

    const QVector<QByteArray> rawNames = ParseFields(m_header, descriptorStart, IsDBase2() ? 16 : IsLevel7() ? 48 : 32);
    CheckSize();
    if (!codePage.isEmpty())
        m_codePage = DbfCodePage(codePage);
    else if (QByteArray named = IsLevel7() ? CodePageForDriverName(driverName) : DbfCodePage::NameForDriver(driver); !named.isEmpty())
        m_codePage = DbfCodePage(named);
    else
        m_codePage = DbfCodePage(DbfCodePage::Guess(TextSample(rawNames)));
    if (!m_codePage.IsValid())
        m_codePage = DbfCodePage();
    AssignNames(rawNames);
    AssignNullBits();
}

QVector<QByteArray> DbfFile::ParseFields(const QByteArray& header, int start, int size)
{
    QVector<QByteArray> rawNames;
    int offset = 1;
    for (int at = start; at < header.size() && header[at] != '\x0D'; at += size) {
        if (at + size > header.size())
            NotADbf(m_name, QStringLiteral("its field list has no end mark."));
        const uchar* d = U(header) + at;
        const int nameLength = IsLevel7() ? 32 : 11;
        const int typeAt = nameLength;
        DbfField f;
        f.type = char(d[typeAt]);
        f.descriptorOffset = at;
        if (IsDBase2()) {
            f.length = d[12];
            f.decimals = d[15];
        } else if (IsLevel7()) {
            f.length = d[typeAt + 1];
            f.decimals = d[typeAt + 2];
        } else {
            f.length = d[typeAt + 5];
            f.decimals = d[typeAt + 6];
            if (!IsLevel7())
                f.flags = d[18];
        }
        if (f.type == 'C' && !IsLevel7() && !IsDBase2()) {
            // FoxPro and Clipper keep the high byte of a long character field in the decimals.
            f.length += f.decimals << 8;
            f.decimals = 0;
        }
        if (f.length <= 0)
            NotADbf(m_name, QStringLiteral("a field has length 0."));
        f.offset = offset;
        offset += f.length;
        if (offset > m_recordLength)
            NotADbf(m_name, QStringLiteral("its fields are longer than its record length %1.").arg(m_recordLength));
        QByteArray rawName = header.mid(at, nameLength);
        if (const qsizetype nul = rawName.indexOf('\0'); nul >= 0)
            rawName.truncate(nul);
        rawNames.append(rawName.trimmed());
        if (f.type == '0' && f.IsSystem())
            m_nullFlagsField = int(m_fields.size());
        m_fields.append(f);
        if (m_fields.size() > 4096)
            NotADbf(m_name, QStringLiteral("it has too many fields."));
    }
    if (m_fields.isEmpty())
        NotADbf(m_name, QStringLiteral("it has no fields."));
    return rawNames;
}

QByteArray DbfFile::TextSample(const QVector<QByteArray>& rawNames) const
{
    QByteArray sample = rawNames.toList().join(' ');
    const QByteArray records = ReadRecords(0, qMax<qint64>(1, 65536 / m_recordLength));
    for (qsizetype at = 0; at + m_recordLength <= records.size(); at += m_recordLength) {
        for (const DbfField& f : m_fields) {
            if (f.type == 'C')
                sample += records.mid(at + f.offset, f.length) + ' ';
        }
    }
    return sample;
}

void DbfFile::AssignNames(const QVector<QByteArray>& rawNames)
{
    QSet<QString> used;
    for (int i = 0; i < m_fields.size(); ++i) {
        QString name = m_codePage.Decode(rawNames[i]).trimmed();
        if (name.isEmpty())
            name = QStringLiteral("Field%1").arg(i + 1);
        // Columns need unique names; a repeated one gets a number.
        QString unique = name;
        for (int n = 2; used.contains(unique.toLower()); ++n)
            unique = name + u'_' + QString::number(n);
        used.insert(unique.toLower());
        m_fields[i].name = unique;
    }
}

void DbfFile::AssignNullBits()
{
    if (m_nullFlagsField < 0)
        return;
    int bit = 0;
    const int bits = m_fields[m_nullFlagsField].length * 8;
    for (DbfField& f : m_fields) {
        if (f.IsSystem())
            continue;
        if (f.type == 'V' || f.type == 'Q')
            f.varBit = bit++;
        if (f.flags & 0x02)
            f.nullBit = bit++;
    }
    if (bit > bits)
        NotADbf(m_name, QStringLiteral("its null flags field is too short."));
}

void DbfFile::CheckSize() const
{
    const qint64 size = FileIo::Size(m_device);
    const qint64 needed = qint64(m_headerLength) + m_recordCount * m_recordLength;
    if (needed > size)
        throw AdoError(err::Unspecified, QStringLiteral("The file '%1' is damaged: its header announces %2 records of %3 bytes, "
                                                        "but the file holds only %4.")
                                             .arg(m_name).arg(m_recordCount).arg(m_recordLength)
                                             .arg((size - m_headerLength) / m_recordLength));
}

QString DbfFile::WriteRefusal() const
{
    if (IsDBase2())
        return QStringLiteral("The table '%1' is a dBase II file, which can only be read.").arg(m_name);
    if (IsLevel7())
        return QStringLiteral("The table '%1' is a dBase 7 file, which can only be read.").arg(m_name);
    for (const DbfField& f : m_fields) {
        if (!QByteArrayLiteral("CNFDLMIBTYVGPQ0").contains(f.type))
            return QStringLiteral("The table '%1' has a field of type '%2', which cannot be written.").arg(m_name, QChar::fromLatin1(f.type));
    }
    return {};
}

void DbfFile::Refresh()
{
    // Another program may have appended: the count, and the whole header with it.
    const QByteArray header = FileIo::ReadAt(m_device, 0, m_headerLength, m_name);
    m_recordCount = IsDBase2() ? qFromLittleEndian<quint16>(U(header) + 1) : qFromLittleEndian<quint32>(U(header) + 4);
    m_header = header;
    CheckSize();
}

QByteArray DbfFile::ReadRecords(qint64 first, qint64 count) const
{
    count = qMin(count, m_recordCount - first);
    if (count <= 0)
        return {};
    return FileIo::ReadAt(m_device, m_headerLength + first * m_recordLength, count * m_recordLength, m_name);
}

QByteArray DbfFile::ReadRecord(qint64 index) const
{
    if (index < 0 || index >= m_recordCount)
        throw AdoError(err::RowNotFound, QStringLiteral("The record %1 of '%2' does not exist.").arg(index + 1).arg(m_name));
    return ReadRecords(index, 1);
}

QByteArray DbfFile::BlankRecord() const
{
    QByteArray record(m_recordLength, ' ');
    for (const DbfField& f : m_fields) {
        // Binary fields are blank when zero.
        if (QByteArrayLiteral("IBTY0").contains(f.type) && !(f.type == 'B' && !IsVisualFoxPro()))
            record.replace(f.offset, f.length, QByteArray(f.length, '\0'));
        else if (f.type == 'M' && f.length == 4)
            record.replace(f.offset, f.length, QByteArray(f.length, '\0'));
        else if (f.type == 'V' || f.type == 'Q')
            record.replace(f.offset, f.length, QByteArray(f.length, '\0'));
    }
    return record;
}

void DbfFile::WriteRecord(qint64 index, const QByteArray& record)
{
    if (record.size() != m_recordLength)
        throw AdoError(err::Unspecified, QStringLiteral("A record for '%1' has the wrong length.").arg(m_name));
    const QByteArray old = ReadRecord(index);
    const qint64 pos = m_headerLength + index * m_recordLength;
    try {
        FileIo::WriteAt(m_device, pos, record, m_name);
        FileIo::Sync(m_device, m_name);
    } catch (const AdoError& e) {
        try {
            FileIo::WriteAt(m_device, pos, old, m_name);
            FileIo::Sync(m_device, m_name);
        } catch (const AdoError& repair) {
            NotPutBack(e, repair);
        }
        throw;
    }
}

QByteArray DbfFile::UpdatedHeader(qint64 count) const
{
    QByteArray header = m_header;
    auto* h = reinterpret_cast<uchar*>(header.data());
    const QDate today = QDate::currentDate();
    h[1] = uchar(today.year() - 1900);
    h[2] = uchar(today.month());
    h[3] = uchar(today.day());
    qToLittleEndian<quint32>(quint32(count), h + 4);
    return header;
}

qint64 DbfFile::AppendRecord(const QByteArray& record, Appended* undo)
{
    if (record.size() != m_recordLength)
        throw AdoError(err::Unspecified, QStringLiteral("A record for '%1' has the wrong length.").arg(m_name));
    const qint64 index = m_recordCount;
    Appended before;
    before.pos = m_headerLength + index * m_recordLength;
    before.size = FileIo::Size(m_device);
    before.tail = FileIo::ReadSomeAt(m_device, before.pos, m_recordLength + 1, m_name);
    before.header = FileIo::ReadAt(m_device, 0, m_headerLength, m_name);
    const QByteArray newHeader = UpdatedHeader(index + 1);
    try {
        // The record first: until the header counts it, readers do not see it.
        FileIo::WriteAt(m_device, before.pos, record + '\x1A', m_name);
        FileIo::Sync(m_device, m_name);
        FileIo::WriteAt(m_device, 0, newHeader, m_name);
        FileIo::Sync(m_device, m_name);
    } catch (const AdoError& e) {
        try {
            UndoAppend(before);
        } catch (const AdoError& repair) {
            m_header = before.header;
            NotPutBack(e, repair);
        }
        throw;
    }
    m_header = newHeader;
    m_recordCount = index + 1;
    if (undo)
        *undo = before;
    return index;
}

void DbfFile::UndoAppend(const Appended& undo)
{
    FileIo::WriteAt(m_device, 0, undo.header, m_name);
    FileIo::Resize(m_device, undo.size, m_name);
    FileIo::WriteAt(m_device, undo.pos, undo.tail, m_name);
    FileIo::Sync(m_device, m_name);
    m_header = undo.header;
    const auto* h = reinterpret_cast<const uchar*>(m_header.constData());
    m_recordCount = IsDBase2() ? qFromLittleEndian<quint16>(h + 1) : qFromLittleEndian<quint32>(h + 4);
}

void DbfFile::MarkDeleted(qint64 index)
{
    // Through WriteRecord, which puts the record back when the write or its sync fails.
    QByteArray record = ReadRecord(index);
    record[0] = '*';
    WriteRecord(index, record);
}

qint64 DbfFile::TakeAutoIncrement(int field)
{
    const DbfField& f = m_fields[field];
    auto* d = reinterpret_cast<uchar*>(m_header.data()) + f.descriptorOffset;
    const qint64 value = qFromLittleEndian<quint32>(d + 19);
    const int step = d[23] ? d[23] : 1;
    qToLittleEndian<quint32>(quint32(value + step), d + 19);
    return value;
}

} // namespace ado
