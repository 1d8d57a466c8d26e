// The state chunk the host stores between runs. Little-endian throughout:
//   0  magic "KdrS"
//   4  version (1)
//   8  total length in bytes, header included
//  12  parameter count
//  16  view: 0 compact, 1 large
//  20  one 32-bit float per parameter, normalized 0..1
// A chunk is taken whole or not at all.
#pragma once

#include "KindraParameters.h"

#include <cstddef>
#include <cstdint>

struct KindraState {
    float values[kParamCount];
    bool largeView;
};

class KindraChunk {
public:
    static constexpr uint32_t kVersion = 1;
    static constexpr size_t kHeaderBytes = 20;
    static constexpr size_t kBytes = kHeaderBytes + 4 * kParamCount;

    // Main thread. Serializes state into the chunk's own buffer; the pointer
    // stays valid until the next write or the chunk's end.
    const uint8_t* write(const KindraState& state);
    size_t size() const { return kBytes; }

    // Any thread. Fills state from data and returns true only for a chunk of
    // this format and version whose length matches and whose values are all
    // in 0..1; otherwise state is left untouched.
    static bool read(const void* data, size_t size, KindraState& state);

private:
    uint8_t m_bytes[kBytes] = {};
};
