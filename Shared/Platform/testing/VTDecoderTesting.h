// Test-only control of the extended audio file stand-in. System code never
// includes this header.
#pragma once

#include <cstddef>

namespace vt::testing {

// While one exists, the stand-in refuses files longer than the given number
// of frames instead of its own bound, so that a test reaches the bound with
// a short file. Main thread, with no file being opened.
class DecodedLengthLimit {
public:
    explicit DecodedLengthLimit(size_t frames);
    ~DecodedLengthLimit();
    DecodedLengthLimit(const DecodedLengthLimit&) = delete;
    DecodedLengthLimit& operator=(const DecodedLengthLimit&) = delete;
};

} // namespace vt::testing
