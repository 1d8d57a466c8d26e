// Shared body of the audio-file fuzz targets: the input becomes a file on
// disk, which the reader opens and reads whole, as the player loads it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

template <typename Reader> int fuzzAudioFile(const uint8_t* data, size_t size, const char* suffix)
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
    // The frame count never exceeds what the file holds, so these arrays
    // stay small; a larger count is itself the fault to find.
    if (frames > size)
        __builtin_trap();
    std::vector<float> left(frames + 1), right(frames + 1);
    float* channels[2] = {left.data(), right.data()};
    reader.getData(channels);
    return 0;
}
