#include "ado/ByteArena.h"

#include <cstring>

namespace ado {

quint64 ByteArena::Append(const char* data, qsizetype size)
{
    const quint64 offset = m_bytes.size();
    m_bytes.Append(data, size_t(size));
    return offset;
}

QByteArrayView ByteArena::Slice(quint64 offset, qsizetype size, QByteArray& scratch) const
{
    if (size == 0)
        return QByteArrayView("", 0);
    size_t run = 0;
    const char* first = m_bytes.Run(offset, &run);
    if (run >= size_t(size))
        return QByteArrayView(first, size);
    scratch.resize(size);
    qsizetype done = 0;
    while (done < size) {
        const char* part = m_bytes.Run(offset + quint64(done), &run);
        const qsizetype n = qMin(qsizetype(run), size - done);
        std::memcpy(scratch.data() + done, part, size_t(n));
        done += n;
    }
    return QByteArrayView(scratch.constData(), size);
}

} // namespace ado
