#include "../AudioFileFuzz.h"
#include "VTAudioFileWAV.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzAudioFile<VTAudioFileWAV>(data, size, ".wav");
}
