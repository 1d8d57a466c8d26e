#include "../AudioFileFuzz.h"
#include "VTAudioFileAIFF.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An uncompressed file holds at most one frame per byte.
    return fuzzAudioFile<VTAudioFileAIFF>(data, size, ".aif", size);
}
