// Arbitrary bytes as a compressed sample file: written to a file, opened
// and decoded whole through the extended audio file stand-in.
#include "VTAudioFileDecoder.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/kindra-fuzz-decoder-" + std::to_string(getpid()) + ".m4a";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return 0;
    if (size > 0)
        std::fwrite(data, 1, size, file);
    std::fclose(file);

    VTAudioFileDecoder decoder;
    const unsigned frames = decoder.openFile(path.c_str(), nullptr, 48000.0f);
    // A few bytes cannot hold more than minutes of sound; a count beyond
    // that would make the player allocate for nothing.
    if (frames > 48000u * 600u)
        __builtin_trap();
    std::vector<float> left(frames + 1), right(frames + 1);
    float* channels[2] = {left.data(), right.data()};
    decoder.getData(channels);
    return 0;
}
