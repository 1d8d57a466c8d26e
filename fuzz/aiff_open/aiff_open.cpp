#include "../AudioFileFuzz.h"
#include "VTAudioFileAIFF.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzAudioFile<VTAudioFileAIFF>(data, size, ".aif");
}
