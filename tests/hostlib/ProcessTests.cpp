// In-place processing through the 20-entry pointer array.
#include "ProbeHost.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct StereoBuffer {
    explicit StereoBuffer(int frames, float left, float right) : l(frames, left), r(frames, right) {}
    float** pair()
    {
        pointers[0] = l.data();
        pointers[1] = r.data();
        return pointers;
    }
    std::vector<float> l, r;
    float* pointers[2];
};

} // namespace

class OutputPairs : public testing::TestWithParam<int> {};

TEST_P(OutputPairs, EveryPairOfThePluginPointsAtTheOneStereoOutput)
{
    const int outputs = GetParam();
    probe::LoadedProbe probe;
    ASSERT_TRUE(probe.loaded);
    probe.effect()->numOutputs = outputs;
    StereoBuffer out(16, 0.0f, 0.0f);
    float** pair = out.pair();
    probe.lib.processReplacing(nullptr, pair, 16);

    ASSERT_EQ(probe.state().processes.size(), 1);
    const probe::ProcessCall& call = probe.state().processes.items[0];
    EXPECT_EQ(call.frames, 16);
    // The probe reads whole pairs, and no more than the host serves (ten).
    ASSERT_EQ(call.pointerCount, std::min(outputs + outputs % 2, VTVSTHostLib::kMaxChannelPointers));
    for (int k = 0; k < call.pointerCount; ++k) {
        EXPECT_EQ(call.outputs[k], pair[k % 2]) << "entry " << k;
        EXPECT_EQ(call.inputs[k], pair[k % 2]) << "entry " << k;
    }
}

// 1 output still gets a whole pair; over 20 outputs get the first ten pairs
// and nothing is written past the array.
INSTANTIATE_TEST_SUITE_P(Counts, OutputPairs, testing::Values(1, 2, 4, 19, 20, 21, 24, 64));

TEST(Process, ThePluginWorksInPlaceOnWhatTheOutputHolds)
{
    probe::LoadedProbe probe;
    ASSERT_TRUE(probe.loaded);
    probe.state().gain = 0.5f;
    StereoBuffer in(8, 9.0f, 9.0f);
    StereoBuffer out(8, 0.5f, -1.0f);
    probe.lib.processReplacing(in.pair(), out.pair(), 8);
    EXPECT_EQ(out.l, std::vector<float>(8, 0.25f));
    EXPECT_EQ(out.r, std::vector<float>(8, -0.5f));
    EXPECT_EQ(in.l, std::vector<float>(8, 9.0f)); // the input pair is not used
    EXPECT_FALSE(probe.lib.bInAudioThread);
}

TEST(Process, IsSkippedWhileCommunicationIsLockedAndWithoutAPlugin)
{
    probe::LoadedProbe probe;
    ASSERT_TRUE(probe.loaded);
    probe.state().gain = 0.0f;
    StereoBuffer out(4, 1.0f, 1.0f);
    probe.lib.bLockAudioCommunication = true;
    probe.lib.processReplacing(nullptr, out.pair(), 4);
    EXPECT_EQ(probe.state().processes.size(), 0);
    EXPECT_EQ(out.l, std::vector<float>(4, 1.0f));

    probe.lib.bLockAudioCommunication = false;
    probe.lib.processReplacing(nullptr, out.pair(), 4);
    EXPECT_EQ(probe.state().processes.size(), 1);
    EXPECT_EQ(out.l, std::vector<float>(4, 0.0f));

    VTVSTHostLib empty;
    StereoBuffer untouched(4, 2.0f, 2.0f);
    empty.processReplacing(nullptr, untouched.pair(), 4);
    EXPECT_EQ(untouched.l, std::vector<float>(4, 2.0f));
}
