// Arbitrary bytes as a compressed sample file: written to a file, opened
// and decoded whole through the extended audio file stand-in.
#include "../AudioFileFuzz.h"
#include "VTAudioFileDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A few bytes cannot hold more than minutes of sound.
    return fuzzAudioFile<VTAudioFileDecoder>(data, size, "-decoder.m4a", 48000u * 600u);
}
