#include "KindraChunk.h"

#include <cstring>

namespace {

constexpr uint8_t kMagic[4] = {'K', 'd', 'r', 'S'};

void putU32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t getU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace

const uint8_t* KindraChunk::write(const KindraState& state)
{
    std::memcpy(m_bytes, kMagic, 4);
    putU32(m_bytes + 4, kVersion);
    putU32(m_bytes + 8, static_cast<uint32_t>(kBytes));
    putU32(m_bytes + 12, kParamCount);
    putU32(m_bytes + 16, state.largeView ? 1 : 0);
    for (int i = 0; i < kParamCount; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &state.values[i], 4);
        putU32(m_bytes + kHeaderBytes + 4 * i, bits);
    }
    return m_bytes;
}

bool KindraChunk::read(const void* data, size_t size, KindraState& state)
{
    if (data == nullptr || size < kHeaderBytes)
        return false;
    const auto* p = static_cast<const uint8_t*>(data);
    if (std::memcmp(p, kMagic, 4) != 0 || getU32(p + 4) != kVersion)
        return false;
    // The stored length must be exactly what arrived and what version 1 holds.
    if (getU32(p + 8) != size || size != kBytes || getU32(p + 12) != static_cast<uint32_t>(kParamCount))
        return false;
    const uint32_t view = getU32(p + 16);
    if (view > 1)
        return false;

    KindraState loaded{};
    for (int i = 0; i < kParamCount; ++i) {
        const uint32_t bits = getU32(p + kHeaderBytes + 4 * i);
        float value;
        std::memcpy(&value, &bits, 4);
        // Rejects NaN as well: every comparison with it is false.
        if (!(value >= 0.0f && value <= 1.0f))
            return false;
        loaded.values[i] = value;
    }
    loaded.largeView = view == 1;
    state = loaded;
    return true;
}
