#pragma once

#include "ado/ChunkedArray.h"

#include <QtGlobal>
#include <limits>

namespace ado {

// 64-bit integers kept in 32 bits each until one of them needs more; then every value
// moves once to 64 bits. Most columns of ids, counts, dates and text offsets never do.
class PackedIntegers {
public:
    void push_back(qint64 value)
    {
        if (m_wide.empty() && Fits(value)) {
            m_narrow.push_back(qint32(value));
            return;
        }
        if (!m_narrow.empty())
            Widen();
        m_wide.push_back(value);
    }

    qint64 operator[](size_t i) const { return m_wide.empty() ? qint64(m_narrow[i]) : m_wide[i]; }
    size_t size() const { return m_wide.empty() ? m_narrow.size() : m_wide.size(); }
    const void* Address(size_t i) const
    {
        return m_wide.empty() ? static_cast<const void*>(&m_narrow[i]) : static_cast<const void*>(&m_wide[i]);
    }
    size_t MemoryBytes() const { return m_narrow.MemoryBytes() + m_wide.MemoryBytes(); }

private:
    static bool Fits(qint64 value)
    {
        return value >= std::numeric_limits<qint32>::min() && value <= std::numeric_limits<qint32>::max();
    }

    void Widen()
    {
        for (size_t i = 0; i < m_narrow.size(); ++i)
            m_wide.push_back(m_narrow[i]);
        m_narrow = {};
    }

    ChunkedArray<qint32, 15> m_narrow;
    ChunkedArray<qint64> m_wide;
};

} // namespace ado
