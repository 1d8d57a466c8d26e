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
    // The probe reads and writes every channel it declares, in whole pairs.
    ASSERT_EQ(call.pointerCount, outputs + outputs % 2);
    for (int k = 0; k < call.pointerCount; ++k) {
        EXPECT_EQ(call.inputs[k], call.outputs[k]) << "entry " << k;
        if (k < VTVSTHostLib::kMaxChannelPointers) {
            EXPECT_EQ(call.outputs[k], pair[k % 2]) << "entry " << k;
        } else {
            // Beyond ten pairs: somewhere harmless, never the output.
            EXPECT_NE(call.outputs[k], nullptr) << "entry " << k;
            EXPECT_NE(call.outputs[k], pair[0]) << "entry " << k;
            EXPECT_NE(call.outputs[k], pair[1]) << "entry " << k;
        }
    }
}

// 1 output still gets a whole pair; beyond 20 outputs every channel up to
// the bound is served and nothing is read or written past the array.
INSTANTIATE_TEST_SUITE_P(Counts, OutputPairs, testing::Values(1, 2, 4, 19, 20, 21, 24, 64));

TEST(Process, ManyChannelsAndABlockLongerThanTheScratchStillReachEveryFrame)
{
    probe::LoadedProbe probe;
    ASSERT_TRUE(probe.loaded);
    probe.effect()->numOutputs = 40;
    probe.effect()->numInputs = 40;
    probe.state().offset = 1.0f;
    // Longer than the scratch channels hold: handed over in parts.
    const int frames = VTVSTHostLib::kScratchFrames + 100;
    StereoBuffer out(frames, 0.0f, 0.0f);
    probe.lib.processReplacing(nullptr, out.pair(), frames);
    EXPECT_EQ(out.l, std::vector<float>(frames, 1.0f));
    EXPECT_EQ(out.r, std::vector<float>(frames, 1.0f));
    // In the last part (100 frames) inputs 2 to 19 are the output pair,
    // already 1.0 when the probe sums them: 18 x 100. Inputs 20 to 39 are
    // scratch, silent again although the part before wrote 1.0 there.
    EXPECT_EQ(probe.state().extraInputSum, 1800.0f);
    int total = 0;
    for (int i = 0; i < probe.state().processes.size(); ++i)
        total += probe.state().processes.items[i].frames;
    EXPECT_EQ(total, frames);

    // A plug-in that grows past the bound after loading is not run.
    probe.effect()->numOutputs = 65;
    StereoBuffer loud(8, 0.5f, 0.5f);
    probe.lib.processReplacing(nullptr, loud.pair(), 8);
    EXPECT_EQ(loud.l, std::vector<float>(8, 0.0f));
    EXPECT_FALSE(probe.lib.bInAudioThread);
}

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
