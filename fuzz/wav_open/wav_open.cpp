#include "../AudioFileFuzz.h"
#include "VTAudioFileWAV.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An uncompressed file holds at most one frame per byte.
    return fuzzAudioFile<VTAudioFileWAV>(data, size, ".wav", size);
}
