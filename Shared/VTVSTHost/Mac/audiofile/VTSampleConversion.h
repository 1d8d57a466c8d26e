// Conversion of packed sample bytes to the two float channels every audio
// path carries. One function per encoding; each converts whole frames and
// is written as a plain loop the compiler vectorises, except 24-bit samples,
// which it does not: those are vectorised by hand where SSE2 exists.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vt::samples {

// Sample encoding codes: the mono code, plus 7 for two channels.
inline constexpr uint32_t kInt8Mono = 1;
inline constexpr uint32_t kInt16Mono = 2;
inline constexpr uint32_t kInt24Mono = 3;
inline constexpr uint32_t kInt32Mono = 4;
inline constexpr uint32_t kFloat32Mono = 5;
inline constexpr uint32_t kInt64Mono = 6;
inline constexpr uint32_t kFloat64Mono = 7;
inline constexpr uint32_t kInt8Stereo = 8;
inline constexpr uint32_t kInt16Stereo = 9;
inline constexpr uint32_t kInt24Stereo = 10;
inline constexpr uint32_t kInt32Stereo = 11;
inline constexpr uint32_t kFloat32Stereo = 12;
inline constexpr uint32_t kInt64Stereo = 13;
inline constexpr uint32_t kFloat64Stereo = 14;

// Bytes one frame of the encoding takes; 0 for an unknown code.
size_t bytesPerFrame(uint32_t encoding);

// Converts `frames` frames of `encoding` from `bytes` into left[0..frames)
// and right[0..frames); mono writes the same value to both. Multi-byte
// samples are big-endian when bigEndian is set. 8-bit samples are signed,
// or offset by 128 when unsignedBytes is set (WAV's 8-bit data); the scale
// is 1/256 either way. 64-bit integers and unknown codes convert nothing and
// answer false. Any thread, real-time safe.
bool convertFrames(uint32_t encoding, bool bigEndian, const unsigned char* bytes, size_t frames, float* left,
                   float* right, bool unsignedBytes = false);

// Two float channels to interleaved 16-bit pairs: above 1.0 gives 32767,
// below -1.0 (and NaN) gives -32767, otherwise x * 32767 truncated toward
// zero. Byte-reversed (big-endian) when bigEndian is set.
void framesToInt16Stereo(const float* left, const float* right, size_t frames, bool bigEndian, unsigned char* out);

} // namespace vt::samples
