// Feeds arbitrary bytes to the Kindra plug-in's state chunk reader, as a
// "saved.chunk" damaged outside Kindra would reach it through effSetChunk.
#include "KindraChunk.h"

#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy: any read past the chunk is caught.
    std::unique_ptr<uint8_t[]> chunk(new uint8_t[size == 0 ? 1 : size]);
    if (size > 0)
        std::memcpy(chunk.get(), data, size);
    KindraState state{};
    state.values[0] = 0.25f;
    const KindraState before = state;
    if (!KindraChunk::read(size == 0 ? nullptr : chunk.get(), size, state)) {
        // A refused chunk leaves the state untouched.
        if (std::memcmp(&state, &before, sizeof state) != 0)
            __builtin_trap();
        return 0;
    }
    // An accepted chunk holds only values in 0..1, and writing it back
    // reads again to the same state.
    for (float value : state.values)
        if (!(value >= 0.0f && value <= 1.0f))
            __builtin_trap();
    KindraChunk again;
    const uint8_t* bytes = again.write(state);
    KindraState reread{};
    if (!KindraChunk::read(bytes, again.size(), reread) || std::memcmp(&reread, &state, sizeof state) != 0)
        __builtin_trap();
    return 0;
}
