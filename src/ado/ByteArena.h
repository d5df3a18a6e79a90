#pragma once

#include "ado/ChunkedArray.h"

#include <QByteArray>
#include <QByteArrayView>

namespace ado {

// Bytes of many values one after the other in 1 MiB blocks, each value found by its
// offset and length. Appending never moves what is stored.
class ByteArena {
public:
    // Returns the offset of the appended bytes.
    quint64 Append(const char* data, qsizetype size);
    // The bytes at offset; scratch holds them when they straddle two blocks.
    QByteArrayView Slice(quint64 offset, qsizetype size, QByteArray& scratch) const;
    quint64 Size() const { return m_bytes.size(); }
    const char* Address(quint64 offset) const { return &m_bytes[size_t(offset)]; }
    size_t MemoryBytes() const { return m_bytes.MemoryBytes(); }

private:
    ChunkedArray<char, 20> m_bytes;
};

} // namespace ado
