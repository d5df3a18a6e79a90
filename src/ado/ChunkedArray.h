#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace ado {

// Makes elements without value-initializing them: a new block of numbers is written
// before it is read, so zero-filling it first would only cost a pass over its memory.
template <typename T>
struct DefaultInitAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    DefaultInitAllocator() = default;
    template <typename U>
    DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// A growing array kept in blocks of 2^Shift elements, so that appending to a big one never
// moves what it already holds. Only the first block grows by reallocation, which keeps a
// small array small; every later block is made whole at once, so that appending to it is
// one store and one increment.
template <typename T, int Shift = 14>
class ChunkedArray {
public:
    static constexpr size_t BlockSize = size_t(1) << Shift;
    using Block = std::vector<T, DefaultInitAllocator<T>>;

    ChunkedArray() = default;
    ChunkedArray(const ChunkedArray& other) : m_blocks(other.m_blocks), m_size(other.m_size) { Rebind(); }
    ChunkedArray& operator=(const ChunkedArray& other)
    {
        if (this != &other) {
            m_blocks = other.m_blocks;
            m_size = other.m_size;
            Rebind();
        }
        return *this;
    }
    // Moving keeps the blocks, and so the place the next element goes to.
    ChunkedArray(ChunkedArray&& other) noexcept
        : m_blocks(std::move(other.m_blocks)), m_size(other.m_size), m_next(other.m_next), m_limit(other.m_limit)
    {
        other.Clear();
    }
    ChunkedArray& operator=(ChunkedArray&& other) noexcept
    {
        if (this != &other) {
            m_blocks = std::move(other.m_blocks);
            m_size = other.m_size;
            m_next = other.m_next;
            m_limit = other.m_limit;
            other.Clear();
        }
        return *this;
    }

    void push_back(const T& value)
    {
        if (m_next != m_limit) {
            *m_next++ = value;
            ++m_size;
            return;
        }
        Grow(&value, 1);
    }

    void Append(const T* data, size_t count)
    {
        while (count > 0) {
            if (m_next == m_limit) {
                const size_t took = Grow(data, count);
                data += took;
                count -= took;
                continue;
            }
            const size_t take = std::min(size_t(m_limit - m_next), count);
            m_next = std::copy(data, data + take, m_next);
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
        const Block& block = m_blocks[i >> Shift];
        const size_t offset = i & (BlockSize - 1);
        *count = std::min(block.size() - offset, m_size - i);
        return block.data() + offset;
    }

    size_t MemoryBytes() const
    {
        size_t bytes = m_blocks.capacity() * sizeof(Block);
        for (const Block& block : m_blocks)
            bytes += block.capacity() * sizeof(T);
        return bytes;
    }

private:
    // Appends up to count elements where the quick way has no room: to the first block
    // while it grows, else into a new whole block. Returns how many it took.
    size_t Grow(const T* data, size_t count)
    {
        if (m_blocks.empty())
            m_blocks.emplace_back();
        if (m_blocks.size() == 1 && m_blocks[0].size() < BlockSize) {
            Block& first = m_blocks[0];
            const size_t take = std::min(BlockSize - first.size(), count);
            first.insert(first.end(), data, data + take);
            m_size += take;
            return take;
        }
        m_blocks.emplace_back(BlockSize);
        m_next = m_blocks.back().data();
        m_limit = m_next + BlockSize;
        const size_t take = std::min(BlockSize, count);
        m_next = std::copy(data, data + take, m_next);
        m_size += take;
        return take;
    }

    // After a copy: the next element goes after the last one, in the last whole block.
    void Rebind()
    {
        m_next = m_limit = nullptr;
        if (m_blocks.size() > 1) {
            T* begin = m_blocks.back().data();
            m_next = begin + (m_size - (m_blocks.size() - 1) * BlockSize);
            m_limit = begin + BlockSize;
        }
    }

    void Clear()
    {
        m_blocks.clear();
        m_size = 0;
        m_next = m_limit = nullptr;
    }

    std::vector<Block> m_blocks;
    size_t m_size = 0;
    T* m_next = nullptr;  // in the last block, when it was made whole; else null
    T* m_limit = nullptr;
};

} // namespace ado
