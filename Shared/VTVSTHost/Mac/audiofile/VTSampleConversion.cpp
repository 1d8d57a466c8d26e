#include "VTSampleConversion.h"

#include <cstring>

namespace vt::samples {

namespace {

// Scale factors of the integer encodings to full scale 1.0.
constexpr float kInt8Scale = 0.00390625f;              // 1/256
constexpr float kInt16Scale = 3.0517578125e-05f;       // 1/32768
constexpr double kInt24Scale = 1.1920928955078125e-07; // 2^-23
constexpr double kInt32Scale = 4.656612873077393e-10;  // 2^-31

template <typename T> T load(const unsigned char* p, bool bigEndian)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    if (!bigEndian)
        return value;
    if constexpr (sizeof(T) == 2) {
        uint16_t raw;
        std::memcpy(&raw, &value, 2);
        raw = __builtin_bswap16(raw);
        std::memcpy(&value, &raw, 2);
    } else if constexpr (sizeof(T) == 4) {
        uint32_t raw;
        std::memcpy(&raw, &value, 4);
        raw = __builtin_bswap32(raw);
        std::memcpy(&value, &raw, 4);
    } else {
        uint64_t raw;
        std::memcpy(&raw, &value, 8);
        raw = __builtin_bswap64(raw);
        std::memcpy(&value, &raw, 8);
    }
    return value;
}

float int24(const unsigned char* p, bool bigEndian)
{
    int32_t value = bigEndian ? (p[0] << 16) | (p[1] << 8) | p[2] : p[0] | (p[1] << 8) | (p[2] << 16);
    if (value & 0x800000)
        value -= 0x1000000; // sign-extend bit 23
    return static_cast<float>(value * kInt24Scale);
}

// One sample of each encoding family, as float.
struct Int8 {
    static constexpr size_t size = 1;
    static float read(const unsigned char* p, bool) { return static_cast<int8_t>(p[0]) * kInt8Scale; }
};
struct UInt8 {
    static constexpr size_t size = 1;
    static float read(const unsigned char* p, bool) { return (static_cast<int>(p[0]) - 128) * kInt8Scale; }
};
struct Int16 {
    static constexpr size_t size = 2;
    static float read(const unsigned char* p, bool be) { return load<int16_t>(p, be) * kInt16Scale; }
};
struct Int24 {
    static constexpr size_t size = 3;
    static float read(const unsigned char* p, bool be) { return int24(p, be); }
};
struct Int32 {
    static constexpr size_t size = 4;
    static float read(const unsigned char* p, bool be)
    {
        return static_cast<float>(load<int32_t>(p, be) * kInt32Scale);
    }
};
struct Float32 {
    static constexpr size_t size = 4;
    static float read(const unsigned char* p, bool be) { return load<float>(p, be); }
};
struct Float64 {
    static constexpr size_t size = 8;
    static float read(const unsigned char* p, bool be) { return static_cast<float>(load<double>(p, be)); }
};

// The byte order is a loop invariant: each loop is instantiated for one
// order so that it vectorises.
template <typename Sample, bool BigEndian>
void mono(const unsigned char* bytes, size_t frames, float* left, float* right)
{
    for (size_t i = 0; i < frames; ++i) {
        float value = Sample::read(bytes + i * Sample::size, BigEndian);
        left[i] = value;
        right[i] = value;
    }
}

template <typename Sample, bool BigEndian>
void stereo(const unsigned char* bytes, size_t frames, float* left, float* right)
{
    for (size_t i = 0; i < frames; ++i) {
        left[i] = Sample::read(bytes + 2 * i * Sample::size, BigEndian);
        right[i] = Sample::read(bytes + (2 * i + 1) * Sample::size, BigEndian);
    }
}

template <typename Sample>
void convert(bool isStereo, bool bigEndian, const unsigned char* bytes, size_t frames, float* left, float* right)
{
    if (isStereo)
        bigEndian ? stereo<Sample, true>(bytes, frames, left, right)
                  : stereo<Sample, false>(bytes, frames, left, right);
    else
        bigEndian ? mono<Sample, true>(bytes, frames, left, right) : mono<Sample, false>(bytes, frames, left, right);
}

} // namespace

size_t bytesPerFrame(uint32_t encoding)
{
    static const size_t table[] = {0, 1, 2, 3, 4, 4, 8, 8, 2, 4, 6, 8, 8, 16, 16};
    return encoding < sizeof table / sizeof table[0] ? table[encoding] : 0;
}

bool convertFrames(uint32_t encoding, bool bigEndian, const unsigned char* bytes, size_t frames, float* left,
                   float* right, bool unsignedBytes)
{
    const bool isStereo = encoding >= kInt8Stereo;
    switch (encoding) {
    case kInt8Mono:
    case kInt8Stereo:
        if (unsignedBytes)
            convert<UInt8>(isStereo, bigEndian, bytes, frames, left, right);
        else
            convert<Int8>(isStereo, bigEndian, bytes, frames, left, right);
        return true;
    case kInt16Mono:
    case kInt16Stereo:
        convert<Int16>(isStereo, bigEndian, bytes, frames, left, right);
        return true;
    case kInt24Mono:
    case kInt24Stereo:
        convert<Int24>(isStereo, bigEndian, bytes, frames, left, right);
        return true;
    case kInt32Mono:
    case kInt32Stereo:
        convert<Int32>(isStereo, bigEndian, bytes, frames, left, right);
        return true;
    case kFloat32Mono:
    case kFloat32Stereo:
        convert<Float32>(isStereo, bigEndian, bytes, frames, left, right);
        return true;
    case kFloat64Mono:
    case kFloat64Stereo:
        convert<Float64>(isStereo, bigEndian, bytes, frames, left, right);
        return true;
    default:
        return false; // 64-bit integers and unknown codes are not converted
    }
}

void framesToInt16Stereo(const float* left, const float* right, size_t frames, bool bigEndian, unsigned char* out)
{
    auto clip = [](float x) -> int16_t {
        if (x > 1.0f)
            return 32767;
        if (!(x >= -1.0f)) // also NaN
            return -32767;
        return static_cast<int16_t>(x * 32767.0f);
    };
    for (size_t i = 0; i < frames; ++i) {
        uint16_t l = static_cast<uint16_t>(clip(left[i]));
        uint16_t r = static_cast<uint16_t>(clip(right[i]));
        if (bigEndian) {
            l = __builtin_bswap16(l);
            r = __builtin_bswap16(r);
        }
        std::memcpy(out + 4 * i, &l, 2);
        std::memcpy(out + 4 * i + 2, &r, 2);
    }
}

} // namespace vt::samples
