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

// The most frames one decoded copy holds: 2^28, 1 GiB a channel, the
// longest sample the player holds too. A longer file is refused: by the
// length its container states, before decoding, or else when decoding
// reaches the bound.
inline constexpr size_t kMostFrames = size_t{1} << 28;

// The bound in force: kMostFrames unless a test lowered it (through
// vt::testing::DecodedLengthLimit) to reach it with a short file. Any thread.
size_t mostFrames();
void setMostFrames(size_t frames);

// Decodes the best audio stream of the file at path into out (mono stays
// mono, more than two channels are mixed down to stereo). False when the
// file cannot be opened, holds no decodable audio stream or is longer than
// mostFrames(). Throws std::bad_alloc when memory runs out.
bool decodeFile(const std::string& path, DecodedAudio& out);

// Whether reading in at the given rate needs a conversion at all.
bool needsConversion(const DecodedAudio& in, double rate);

// Converts in to the given rate; false when FFmpeg refuses the conversion
// or the result would be longer than mostFrames(). Throws std::bad_alloc
// when memory runs out.
bool convertRate(const DecodedAudio& in, double rate, DecodedAudio& out);

} // namespace vt::platform::audiofile
