#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace ado {

// A growing array kept in blocks of 2^Shift elements, so that appending to a big one never
// moves what it already holds. Only the first block grows by reallocation, which keeps a
// small array small.
template <typename T, int Shift = 14>
class ChunkedArray {
public:
    static constexpr size_t BlockSize = size_t(1) << Shift;

    void push_back(const T& value)
    {
        Room().push_back(value);
        ++m_size;
    }

    void Append(const T* data, size_t count)
    {
        while (count > 0) {
            std::vector<T>& block = Room();
            const size_t take = std::min(BlockSize - block.size(), count);
            block.insert(block.end(), data, data + take);
            data += take;
            count -= take;
            m_size += take;
        }
    }

    T& operator[](size_t i) { return m_blocks[i >> Shift][i & (BlockSize - 1)]; }
    const T& operator[](size_t i) const { return m_blocks[i >> Shift][i & (BlockSize - 1)]; }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    // Contiguous elements from i to the end of its block.
    const T* Run(size_t i, size_t* count) const
    {
        const std::vector<T>& block = m_blocks[i >> Shift];
        *count = block.size() - (i & (BlockSize - 1));
        return block.data() + (i & (BlockSize - 1));
    }

    size_t MemoryBytes() const
    {
        size_t bytes = m_blocks.capacity() * sizeof(std::vector<T>);
        for (const std::vector<T>& block : m_blocks)
            bytes += block.capacity() * sizeof(T);
        return bytes;
    }

private:
    // The block the next element goes to.
    std::vector<T>& Room()
    {
        if (m_blocks.empty() || m_blocks.back().size() == BlockSize) {
            m_blocks.emplace_back();
            if (m_blocks.size() > 1)
                m_blocks.back().reserve(BlockSize);
        }
        return m_blocks.back();
    }

    std::vector<std::vector<T>> m_blocks;
    size_t m_size = 0;
};

} // namespace ado
