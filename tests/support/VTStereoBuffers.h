// The two channel arrays every audio path carries, as a float** pair, for
// tests that fill, render into or read them.
#pragma once

#include <cstddef>
#include <vector>

namespace vt::testing {

struct StereoBuffers {
    explicit StereoBuffers(size_t frames, float fill = 0.0f) : left(frames, fill), right(frames, fill) {}
    float** pair()
    {
        pointers[0] = left.data();
        pointers[1] = right.data();
        return pointers;
    }
    std::vector<float> left, right;
    float* pointers[2] = {};
};

} // namespace vt::testing
