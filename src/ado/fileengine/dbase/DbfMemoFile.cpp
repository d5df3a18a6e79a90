#include "ado/fileengine/dbase/DbfMemoFile.h"

#include "ado/AdoError.h"
#include "ado/fileengine/FileIo.h"

#include <QIODevice>
#include <QtEndian>

namespace ado {

namespace {

// No memo of ours needs more; a bigger length is a damaged block pointer.
constexpr qint64 MaxMemoLength = 256 * 1024 * 1024;

[[noreturn]] void Damaged(const QString& name, const QString& why)
{
    throw AdoError(err::Unspecified, QStringLiteral("The memo file '%1' is damaged: %2").arg(name, why));
}

} // namespace

DbfMemoFile::DbfMemoFile(QIODevice* device, Kind kind, QString name) : m_device(device), m_kind(kind), m_name(std::move(name))
{
    ReadHeader();
}

void DbfMemoFile::ReadHeader()
{
    const QByteArray header = FileIo::ReadSomeAt(m_device, 0, 512, m_name);
    if (header.size() < 8)
        Damaged(m_name, QStringLiteral("its header is incomplete."));
    const auto* h = reinterpret_cast<const uchar*>(header.constData());
    switch (m_kind) {
    case Kind::DBase3:
        m_blockSize = 512;
        break;
    case Kind::DBase4: {
        const int size = header.size() >= 22 ? qFromLittleEndian<quint16>(h + 20) : 0;
        m_blockSize = size >= 64 ? size : 512;
        break;
    }
    case Kind::FoxPro: {
        const int size = qFromBigEndian<quint16>(h + 6);
        // FoxPro allows a block size of 1 (and historic files use 0 for 512).
        m_blockSize = size == 0 ? 512 : size;
        break;
    }
    }
}

void DbfMemoFile::SetNextFreeBlock(qint64 block)
{
    QByteArray b(4, '\0');
    auto* h = reinterpret_cast<uchar*>(b.data());
    if (m_kind == Kind::FoxPro)
        qToBigEndian<quint32>(quint32(block), h);
    else
        qToLittleEndian<quint32>(quint32(block), h);
    FileIo::WriteAt(m_device, 0, b, m_name);
}

QByteArray DbfMemoFile::Read(qint64 block, bool* binary) const
{
    if (binary)
        *binary = false;
    const qint64 size = FileIo::Size(m_device);
    const qint64 pos = block * m_blockSize;
    if (block <= 0 || pos >= size)
        Damaged(m_name, QStringLiteral("a record points to block %1, past its end.").arg(block));
    if (m_kind == Kind::FoxPro) {
        const QByteArray head = FileIo::ReadAt(m_device, pos, 8, m_name);
        const auto* h = reinterpret_cast<const uchar*>(head.constData());
        const quint32 type = qFromBigEndian<quint32>(h);
        const qint64 length = qFromBigEndian<quint32>(h + 4);
        if (length > MaxMemoLength || pos + 8 + length > size)
            Damaged(m_name, QStringLiteral("the memo at block %1 runs past its end.").arg(block));
        if (binary)
            *binary = type != 1;
        return FileIo::ReadAt(m_device, pos + 8, length, m_name);
    }
    const QByteArray head = FileIo::ReadSomeAt(m_device, pos, 8, m_name);
    const auto* h = reinterpret_cast<const uchar*>(head.constData());
    if (m_kind == Kind::DBase4 && head.size() == 8 && h[0] == 0xFF && h[1] == 0xFF && h[2] == 0x08 && h[3] == 0x00) {
        const qint64 length = qint64(qFromLittleEndian<quint32>(h + 4)) - 8;
        if (length < 0 || length > MaxMemoLength || pos + 8 + length > size)
            Damaged(m_name, QStringLiteral("the memo at block %1 runs past its end.").arg(block));
        return FileIo::ReadAt(m_device, pos + 8, length, m_name);
    }
    // dBase III: the text runs to the first 0x1A.
    QByteArray out;
    for (qint64 at = pos; at < size && out.size() < MaxMemoLength; at += 4096) {
        const QByteArray chunk = FileIo::ReadSomeAt(m_device, at, 4096, m_name);
        const qsizetype end = chunk.indexOf('\x1A');
        if (end >= 0)
            return out + chunk.left(end);
        out += chunk;
        if (chunk.isEmpty())
            break;
    }
    return out;
}

qint64 DbfMemoFile::Append(const QByteArray& data, bool binary)
{
    if (data.size() > MaxMemoLength)
        throw AdoError(err::Unspecified, QStringLiteral("A memo of %1 bytes is too long for the file '%2'.").arg(data.size()).arg(m_name));
    // New blocks go at the end of the file: a damaged next-free pointer can neither make
    // us write over memos nor leave a gap of gigabytes.
    const qint64 size = FileIo::Size(m_device);
    const qint64 block = qMax<qint64>(1, (size + m_blockSize - 1) / m_blockSize);
    QByteArray bytes;
    switch (m_kind) {
    case Kind::FoxPro: {
        bytes.resize(8);
        auto* h = reinterpret_cast<uchar*>(bytes.data());
        qToBigEndian<quint32>(binary ? 0u : 1u, h);
        qToBigEndian<quint32>(quint32(data.size()), h + 4);
        bytes += data;
        break;
    }
    case Kind::DBase4: {
        bytes.resize(8);
        auto* h = reinterpret_cast<uchar*>(bytes.data());
        h[0] = 0xFF; h[1] = 0xFF; h[2] = 0x08; h[3] = 0x00;
        qToLittleEndian<quint32>(quint32(data.size() + 8), h + 4);
        bytes += data;
        break;
    }
    case Kind::DBase3:
        if (data.contains('\x1A'))
            throw AdoError(err::Unspecified, QStringLiteral("A dBase III memo cannot hold the character 0x1A."));
        bytes = data + "\x1A\x1A";
        break;
    }
    const qint64 blocks = (bytes.size() + m_blockSize - 1) / m_blockSize;
    if (block + blocks > 0xFFFFFFFFll)
        throw AdoError(err::Unspecified, QStringLiteral("The memo file '%1' is full.").arg(m_name));
    bytes.append(QByteArray(blocks * m_blockSize - bytes.size(), '\0'));
    if (block * m_blockSize > size)
        FileIo::WriteAt(m_device, size, QByteArray(block * m_blockSize - size, '\0'), m_name);
    FileIo::WriteAt(m_device, block * m_blockSize, bytes, m_name);
    FileIo::Sync(m_device, m_name);
    SetNextFreeBlock(block + blocks);
    FileIo::Sync(m_device, m_name);
    return block;
}

DbfMemoFile::Mark DbfMemoFile::MakeMark() const
{
    return {FileIo::Size(m_device), FileIo::ReadAt(m_device, 0, 4, m_name)};
}

void DbfMemoFile::Restore(const Mark& mark)
{
    if (mark.size < 0)
        return;
    FileIo::WriteAt(m_device, 0, mark.header, m_name);
    FileIo::Resize(m_device, mark.size, m_name);
    FileIo::Sync(m_device, m_name);
}

} // namespace ado
