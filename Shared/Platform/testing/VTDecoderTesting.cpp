#include "VTDecoderTesting.h"

#include "../AudioToolbox/FFmpegDecoder.h"

namespace vt::testing {

DecodedLengthLimit::DecodedLengthLimit(size_t frames)
{
    vt::platform::audiofile::setMostFrames(frames);
}

DecodedLengthLimit::~DecodedLengthLimit()
{
    vt::platform::audiofile::setMostFrames(vt::platform::audiofile::kMostFrames);
}

} // namespace vt::testing
