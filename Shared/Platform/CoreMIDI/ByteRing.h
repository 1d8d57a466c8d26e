// Single-producer, single-consumer ring of variable-size records. A record
// is committed only once it is whole, so the consumer never sees half of
// one. Both sides are real-time safe; the storage is allocated up front.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace vt::platform::midi {

class ByteRing {
public:
    // Main thread: capacity in bytes, rounded up to a multiple of 8.
    explicit ByteRing(std::size_t capacity)
        : m_capacity((capacity + 7) & ~std::size_t(7)), m_buffer(new unsigned char[m_capacity])
    {
    }

    // Producer thread: one record made of a header part and a body part;
    // false when the ring has no room for it.
    bool push(const void* header, std::size_t headerBytes, const void* body, std::size_t bodyBytes)
    {
        std::size_t bytes = headerBytes + bodyBytes;
        if (bytes > UINT32_MAX)
            return false;
        std::size_t head = m_head.load(std::memory_order_relaxed);
        std::size_t used = head - m_tail.load(std::memory_order_acquire);
        if (m_capacity - used < recordSize(bytes))
            return false;
        uint64_t length = bytes;
        copyIn(head, &length, sizeof length);
        copyIn(head + sizeof length, header, headerBytes);
        copyIn(head + sizeof length + headerBytes, body, bodyBytes);
        m_head.store(head + recordSize(bytes), std::memory_order_release);
        return true;
    }

    // Consumer thread: the oldest record's header into header and the rest
    // into body (at most bodyCapacity bytes, the rest is dropped); false when
    // the ring is empty.
    bool pop(void* header, std::size_t headerBytes, void* body, std::size_t bodyCapacity, std::size_t& bodyBytes)
    {
        std::size_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail == m_head.load(std::memory_order_acquire))
            return false;
        uint64_t length = 0;
        copyOut(tail, &length, sizeof length);
        std::size_t bytes = static_cast<std::size_t>(length);
        copyOut(tail + sizeof length, header, std::min(headerBytes, bytes));
        bodyBytes = bytes > headerBytes ? bytes - headerBytes : 0;
        copyOut(tail + sizeof length + headerBytes, body, std::min(bodyBytes, bodyCapacity));
        m_tail.store(tail + recordSize(bytes), std::memory_order_release);
        return true;
    }

private:
    static std::size_t recordSize(std::size_t bytes) { return 8 + ((bytes + 7) & ~std::size_t(7)); }

    void copyIn(std::size_t position, const void* from, std::size_t bytes)
    {
        const auto* source = static_cast<const unsigned char*>(from);
        std::size_t at = position % m_capacity;
        std::size_t first = std::min(bytes, m_capacity - at);
        std::memcpy(&m_buffer[at], source, first);
        std::memcpy(&m_buffer[0], source + first, bytes - first);
    }

    void copyOut(std::size_t position, void* to, std::size_t bytes) const
    {
        auto* target = static_cast<unsigned char*>(to);
        std::size_t at = position % m_capacity;
        std::size_t first = std::min(bytes, m_capacity - at);
        std::memcpy(target, &m_buffer[at], first);
        std::memcpy(target + first, &m_buffer[0], bytes - first);
    }

    const std::size_t m_capacity;
    std::unique_ptr<unsigned char[]> m_buffer;
    std::atomic<std::size_t> m_head{0}; // bytes ever written
    std::atomic<std::size_t> m_tail{0}; // bytes ever read
};

} // namespace vt::platform::midi
