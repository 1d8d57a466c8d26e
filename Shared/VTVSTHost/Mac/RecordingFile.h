// Saving a recorded take as a 16-bit stereo file. Main thread only.
#pragma once

#include <string>

namespace vt::player {

// Writes the frames of the two channels to path at the rate, with the
// writer its last letter names ('f' AIFF, 'v' WAV, in either case). The
// file is written beside the path under a temporary name, flushed to disk
// and then renamed over the path, so a failure (no writer for the name, a
// full disk, a folder that cannot be written) answers false and leaves
// whatever was at the path untouched and no partial file behind.
bool saveRecording(const std::string& path, float** channels, unsigned frames, unsigned rate);

} // namespace vt::player
