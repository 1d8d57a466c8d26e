// Whole-file decoding and rate conversion on FFmpeg, behind the extended
// audio file stand-in.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vt::platform::audiofile {

// Planar float audio of one or two channels.
struct DecodedAudio {
    double sampleRate = 0;
    int channelCount = 0;
    std::vector<float> channels[2];

    size_t frames() const { return channels[0].size(); }
};

// Decodes the best audio stream of the file at path into out (mono stays
// mono, more than two channels are mixed down to stereo). False when the
// file cannot be opened or holds no decodable audio stream.
bool decodeFile(const std::string& path, DecodedAudio& out);

// Converts in to the given rate; false when FFmpeg refuses the conversion.
bool convertRate(const DecodedAudio& in, double rate, DecodedAudio& out);

} // namespace vt::platform::audiofile
