#include "VTSampleConversion.h"

#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vt::samples {

namespace {

// Scale factors of the integer encodings to full scale 1.0.
constexpr float kInt8Scale = 0.00390625f;             // 1/256
constexpr float kInt16Scale = 3.0517578125e-05f;      // 1/32768
constexpr double kInt32Scale = 4.656612873077393e-10; // 2^-31

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

// The three bytes go to the top of a 32-bit value, so its sign bit is the
// sample's. That value times 2^-31 equals the sample times 2^-23: both
// products are exact in float, so single precision gives the same result as
// the double-precision rule, without a branch.
constexpr float kTopInt24Scale = 4.656612873077393e-10f; // 2^-31

float int24(const unsigned char* p, bool bigEndian)
{
    const uint32_t top = bigEndian ? (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8)
                                   : (uint32_t{p[2]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[0]} << 8);
    return static_cast<float>(static_cast<int32_t>(top)) * kTopInt24Scale;
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

#if defined(__SSE2__)
// 24-bit samples, 48 bytes at a time. Twelve bytes are three 32-bit words
// holding four samples; the words of four such groups are gathered into
// three vectors, so that each of a group's four samples can be assembled in
// its own vector, its bytes in the top of a lane as int24 places them.
// Lane g of sample[k] is sample k of group g.
template <bool BigEndian> [[gnu::always_inline]] inline void int24Groups(const unsigned char* bytes, __m128 sample[4])
{
    const __m128 v0 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
    const __m128 v1 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16)));
    const __m128 v2 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 32)));
    // Word j of every group: w[j] lane g = word 3g + j.
    __m128i w[3] = {
        _mm_castps_si128(_mm_shuffle_ps(v0, _mm_shuffle_ps(v1, v2, _MM_SHUFFLE(1, 1, 2, 2)), _MM_SHUFFLE(2, 0, 3, 0))),
        _mm_castps_si128(_mm_shuffle_ps(_mm_shuffle_ps(v0, v1, _MM_SHUFFLE(0, 0, 1, 1)),
                                        _mm_shuffle_ps(v1, v2, _MM_SHUFFLE(2, 2, 3, 3)), _MM_SHUFFLE(2, 0, 2, 0))),
        _mm_castps_si128(_mm_shuffle_ps(_mm_shuffle_ps(v0, v1, _MM_SHUFFLE(1, 1, 2, 2)),
                                        _mm_shuffle_ps(v2, v2, _MM_SHUFFLE(3, 3, 0, 0)), _MM_SHUFFLE(2, 0, 2, 0)))};
    __m128i top[4];
    if constexpr (BigEndian) {
        // Byte-reversed words read the bytes in file order, first byte on top.
        for (__m128i& word : w) {
            const __m128i halves = _mm_shufflehi_epi16(_mm_shufflelo_epi16(word, 0xB1), 0xB1);
            word = _mm_or_si128(_mm_slli_epi16(halves, 8), _mm_srli_epi16(halves, 8));
        }
        top[0] = _mm_and_si128(w[0], _mm_set1_epi32(static_cast<int>(0xFFFFFF00u)));
        top[1] =
            _mm_or_si128(_mm_slli_epi32(w[0], 24), _mm_and_si128(_mm_srli_epi32(w[1], 8), _mm_set1_epi32(0xFFFF00)));
        top[2] =
            _mm_or_si128(_mm_slli_epi32(w[1], 16), _mm_and_si128(_mm_srli_epi32(w[2], 16), _mm_set1_epi32(0xFF00)));
        top[3] = _mm_slli_epi32(w[2], 8);
    } else {
        top[0] = _mm_slli_epi32(w[0], 8);
        top[1] =
            _mm_or_si128(_mm_and_si128(_mm_srli_epi32(w[0], 16), _mm_set1_epi32(0xFF00)), _mm_slli_epi32(w[1], 16));
        top[2] =
            _mm_or_si128(_mm_and_si128(_mm_srli_epi32(w[1], 8), _mm_set1_epi32(0xFFFF00)), _mm_slli_epi32(w[2], 24));
        top[3] = _mm_and_si128(w[2], _mm_set1_epi32(static_cast<int>(0xFFFFFF00u)));
    }
    const __m128 scale = _mm_set1_ps(kTopInt24Scale);
    for (int k = 0; k < 4; ++k)
        sample[k] = _mm_mul_ps(_mm_cvtepi32_ps(top[k]), scale);
}

// Whole blocks of 24-bit frames; the frames converted.
template <bool BigEndian> size_t int24StereoBlocks(const unsigned char* bytes, size_t frames, float* left, float* right)
{
    // A group holds the frames 2g and 2g + 1: samples 0 and 2 are left.
    size_t i = 0;
    for (; i + 8 <= frames; i += 8) {
        __m128 s[4];
        int24Groups<BigEndian>(bytes + 6 * i, s);
        _mm_storeu_ps(left + i, _mm_unpacklo_ps(s[0], s[2]));
        _mm_storeu_ps(left + i + 4, _mm_unpackhi_ps(s[0], s[2]));
        _mm_storeu_ps(right + i, _mm_unpacklo_ps(s[1], s[3]));
        _mm_storeu_ps(right + i + 4, _mm_unpackhi_ps(s[1], s[3]));
    }
    return i;
}

template <bool BigEndian> size_t int24MonoBlocks(const unsigned char* bytes, size_t frames, float* left, float* right)
{
    // A group holds four consecutive frames: transposed, each row is one.
    size_t i = 0;
    for (; i + 16 <= frames; i += 16) {
        __m128 s[4];
        int24Groups<BigEndian>(bytes + 3 * i, s);
        _MM_TRANSPOSE4_PS(s[0], s[1], s[2], s[3]);
        for (int g = 0; g < 4; ++g) {
            _mm_storeu_ps(left + i + 4 * g, s[g]);
            _mm_storeu_ps(right + i + 4 * g, s[g]);
        }
    }
    return i;
}
#else
template <bool BigEndian> size_t int24StereoBlocks(const unsigned char*, size_t, float*, float*)
{
    return 0;
}
template <bool BigEndian> size_t int24MonoBlocks(const unsigned char*, size_t, float*, float*)
{
    return 0;
}
#endif

template <typename Sample>
void convert(bool isStereo, bool bigEndian, const unsigned char* bytes, size_t frames, float* left, float* right)
{
    if constexpr (std::is_same_v<Sample, Int24>) {
        // The compiler does not vectorise three-byte samples: whole blocks
        // go through the vector path, the rest through the loops below.
        const size_t done = isStereo ? (bigEndian ? int24StereoBlocks<true>(bytes, frames, left, right)
                                                  : int24StereoBlocks<false>(bytes, frames, left, right))
                                     : (bigEndian ? int24MonoBlocks<true>(bytes, frames, left, right)
                                                  : int24MonoBlocks<false>(bytes, frames, left, right));
        bytes += done * (isStereo ? 6 : 3);
        left += done;
        right += done;
        frames -= done;
    }
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
