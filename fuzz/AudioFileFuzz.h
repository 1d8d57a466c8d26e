// Shared body of the audio-file fuzz targets: the input becomes a file on
// disk, which the reader opens and reads whole, as the player loads it.
// A frame count above mostFrames is itself the fault to find: the player
// would allocate for sound the file cannot hold.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

template <typename Reader> int fuzzAudioFile(const uint8_t* data, size_t size, const char* suffix, size_t mostFrames)
{
    static const std::string path = "/tmp/kindra-fuzz-" + std::to_string(getpid()) + suffix;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return 0;
    if (size > 0)
        std::fwrite(data, 1, size, file);
    std::fclose(file);

    Reader reader;
    const unsigned frames = reader.openFile(path.c_str(), nullptr, 48000.0f);
    if (frames > mostFrames)
        __builtin_trap();
    std::vector<float> left(frames + 1), right(frames + 1);
    float* channels[2] = {left.data(), right.data()};
    reader.getData(channels);
    return 0;
}
