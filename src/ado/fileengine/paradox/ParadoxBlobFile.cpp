#include "ado/fileengine/paradox/ParadoxBlobFile.h"

#include "ado/AdoError.h"

#include <QtEndian>

namespace ado {

namespace {

constexpr qint64 BlockSize = 4096;
constexpr int SingleBlob = 2;
constexpr int Suballocated = 3;

} // namespace

ParadoxBlobFile::ParadoxBlobFile(const QString& path)
    : m_file(path)
{
    // A missing .MB leaves the part of each value kept in the record.
    if (!m_file.open(QIODevice::ReadOnly))
        m_file.setFileName(QString());
}

QByteArray ParadoxBlobFile::ReadAt(qint64 offset, qint64 length)
{
    if (offset < 0 || length < 0 || offset + length > m_file.size() || !m_file.seek(offset))
        throw AdoError(err::Unspecified, QStringLiteral("The memo file '%1' is damaged.").arg(m_file.fileName()));
    const QByteArray bytes = m_file.read(length);
    if (bytes.size() != length)
        throw AdoError(err::Unspecified, QStringLiteral("The memo file '%1' is damaged.").arg(m_file.fileName()));
    return bytes;
}

QByteArray ParadoxBlobFile::Read(quint32 pointer, quint32 length)
{
    const qint64 block = pointer & 0xffffff00u;
    const int index = int(pointer & 0xff);
    const QByteArray header = ReadAt(block, 12);
    const int type = quint8(header.at(0));
    if (index == 0xff) {
        // One value in the block: 9 bytes of header, then the data.
        if (type != SingleBlob || qFromLittleEndian<quint32>(header.constData() + 3) < length)
            throw AdoError(err::Unspecified, QStringLiteral("The memo file '%1' is damaged.").arg(m_file.fileName()));
        return ReadAt(block + 9, length);
    }
    if (type != Suballocated || index >= 64)
        throw AdoError(err::Unspecified, QStringLiteral("The memo file '%1' is damaged.").arg(m_file.fileName()));
    const QByteArray entry = ReadAt(block + 12 + index * 5, 5);
    const qint64 offset = qint64(quint8(entry.at(0))) * 16;
    const qint64 paragraphs = quint8(entry.at(1));
    if (offset < 12 + 64 * 5 || qint64(length) > paragraphs * 16 || offset + length > BlockSize)
        throw AdoError(err::Unspecified, QStringLiteral("The memo file '%1' is damaged.").arg(m_file.fileName()));
    return ReadAt(block + offset, length);
}

} // namespace ado
