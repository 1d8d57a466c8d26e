// The offline render: pre-roll, capture one block behind, the end trimmed
// onto the two-beat grid and faded, run-out and live audio again.
#include "BounceRig.h"
#include "KindraParameters.h"

#include <cmath>

using bouncetest::BounceRig;
using bouncetest::readWritten;
using bouncetest::RigOptions;

// ------------------------------------------------------------ the end plan

struct PlanCase {
    const char* name;
    unsigned framesBefore, offset;
    double sampleRate, tempo;
    unsigned total, grid, gridFrames, trim, lastFrames, headerFrames;
    bool rewrite;
};

void PrintTo(const PlanCase& c, std::ostream* os)
{
    *os << c.name;
}

class BounceEndPlan : public testing::TestWithParam<PlanCase> {};

TEST_P(BounceEndPlan, PlacesTheEndOnTheTwoBeatGrid)
{
    const PlanCase& c = GetParam();
    const VTBounceEndPlan plan = planBounceEnd(c.framesBefore, c.offset, c.sampleRate, c.tempo);
    EXPECT_EQ(plan.total, c.total);
    EXPECT_EQ(plan.grid, c.grid);
    EXPECT_EQ(plan.gridFrames, c.gridFrames);
    EXPECT_EQ(plan.trim, c.trim);
    EXPECT_EQ(plan.lastFrames, c.lastFrames);
    EXPECT_EQ(plan.headerFrames, c.headerFrames);
    EXPECT_EQ(plan.rewriteHeader, c.rewrite);
}

// P = trunc(trunc(sr x 120) / tempo); M = the largest multiple of P up to
// T; R = T - M is trimmed when at most 32; E = 256 + o - t.
INSTANTIATE_TEST_SUITE_P(Cases, BounceEndPlan,
                         testing::Values(
                             // 344 blocks (88064) + 156 = 88220: P 44100, M 88200, R 20 trimmed.
                             PlanCase{"R20Trimmed", 88064, 156, 44100, 120, 88220, 44100, 88200, 20, 392, 88200, true},
                             // 88064 + 186 = 88250: R 50 kept, header still 88200.
                             PlanCase{"R50Kept", 88064, 186, 44100, 120, 88250, 44100, 88200, 0, 442, 88200, true},
                             // R 32 is trimmed, R 33 is not.
                             PlanCase{"R32Trimmed", 88064, 168, 44100, 120, 88232, 44100, 88200, 32, 392, 88200, true},
                             PlanCase{"R33Kept", 88064, 169, 44100, 120, 88233, 44100, 88200, 0, 425, 88200, true},
                             // Shorter than one period: M 0, the 0-frame header stays.
                             PlanCase{"ShorterThanAPeriod", 768, 0, 44100, 120, 768, 44100, 0, 0, 256, 0, false},
                             // 48 kHz at 90 BPM: 5760000 / 90 = 64000; 128000 + 256 = 128256, R 256.
                             PlanCase{"At90Bpm", 128000, 256, 48000, 90, 128256, 64000, 128000, 0, 512, 128000, true},
                             // A tempo that gives no grid (0, negative, NaN, too fast for one
                             // frame): nothing trimmed, the header states every frame.
                             PlanCase{"TempoZero", 88064, 156, 44100, 0, 88220, 0, 0, 0, 412, 88220, true},
                             PlanCase{"TempoNegative", 88064, 156, 44100, -120, 88220, 0, 0, 0, 412, 88220, true},
                             PlanCase{"TempoNaN", 88064, 156, 44100, std::nan(""), 88220, 0, 0, 0, 412, 88220, true},
                             PlanCase{"TempoBeyondOneFrame", 88064, 156, 44100, 44100.0 * 120 + 1, 88220, 0, 0, 0, 412,
                                      88220, true}));

// ---------------------------------------------------- bounces of the probe

struct Report {
    int64_t frame;
    VstIntPtr value;
    float opt;
};

struct ProbeCase {
    const char* name;
    std::vector<Report> reports;
    unsigned total, written, header;
};

void PrintTo(const ProbeCase& c, std::ostream* os)
{
    *os << c.name;
}

class ProbeBounce : public testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeBounce, WritesTheCaptureUpToTheReportedEnd)
{
    const ProbeCase& c = GetParam();
    BounceRig rig;
    ASSERT_TRUE(rig.started);
    rig.plugin().gain = 0.0f;
    rig.plugin().offset = 0.5f;
    for (const Report& r : c.reports)
        rig.plugin().reportBounceEndAt(r.frame, r.value, r.opt);

    const VTBounceResult result = rig.bounce();
    ASSERT_TRUE(rig.opened);
    EXPECT_TRUE(result.endReported);
    EXPECT_FALSE(result.writeFailed);
    EXPECT_EQ(result.capturedFrames, c.total);
    EXPECT_EQ(result.writtenFrames, c.written);
    EXPECT_EQ(result.headerFrames, c.header);

    const auto file = readWritten(rig.path());
    ASSERT_TRUE(file.opened);
    EXPECT_EQ(file.channels, 2);
    EXPECT_EQ(file.sampleRate, 44100);
    EXPECT_EQ(file.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(file.dataFrames, c.written);
    EXPECT_EQ(file.headerDataBytes, c.header * 4);
    if (c.header != 0) {
        EXPECT_EQ(file.frames, static_cast<sf_count_t>(c.header));
    }
}

// Blocks of 256 from the capture's start; an end reported in block k at o
// gives T = 256 k + o (o clamped into 0 ... 256).
INSTANTIATE_TEST_SUITE_P(
    Ends, ProbeBounce,
    testing::Values(ProbeCase{"TrimmedOntoTheGrid", {{88220, 1, 156}}, 88220, 88200, 88200},
                    ProbeCase{"KeptPastTheGrid", {{88250, 1, 186}}, 88250, 88250, 88200},
                    ProbeCase{"ShorterThanAPeriodKeepsTheEmptyHeader", {{1000, 1, 232}}, 1000, 1000, 0},
                    // The first block's end is lost; the second report counts.
                    ProbeCase{"AnEndInTheFirstBlockIsLost", {{10, 1, 10}, {88220, 1, 156}}, 88220, 88200, 88200},
                    // Request 52 with value 0 is progress, not the end.
                    ProbeCase{"ProgressIsNotTheEnd", {{600, 0, 88}, {88220, 1, 156}}, 88220, 88200, 88200},
                    // Block 2 (512) with an offset beyond the buffers: 256.
                    ProbeCase{"AnOffsetPastTheBlockIsClamped", {{512, 1, 99999.0f}}, 768, 768, 0},
                    ProbeCase{"ANegativeOffsetIsClamped", {{512, 1, -40.0f}}, 512, 512, 0}));

TEST(ProbeBounceSignal, KeepsEveryCapturedFrameInOrderAndFadesTheLast64)
{
    // The probe outputs n / 2^18 for captured frame n; the end at 88220 is
    // trimmed to 88200 frames, the last 64 faded: frame 88200 - 64 + j
    // carries (64 - j) / 64, so the last one 1/64 and the one 64 before it 1.
    BounceRig rig;
    rig.plugin().gain = 0.0f;
    rig.plugin().captureRamp = 1.0f / 262144.0f;
    rig.plugin().reportBounceEndAt(88220, 1, 156);
    ASSERT_EQ(rig.bounce().writtenFrames, 88200u);
    const auto file = readWritten(rig.path());
    ASSERT_EQ(file.samples.size(), 88200u * 2);
    auto expected = [](int n, double gain) {
        return static_cast<int>(static_cast<float>(n) / 262144.0f * static_cast<float>(gain) * 32767.0f);
    };
    for (int n = 0; n < 88200; ++n) {
        const double gain = n < 88200 - 64 ? 1.0 : (64.0 - (n - (88200 - 64))) / 64.0;
        ASSERT_NEAR(file.samples[2 * n], expected(n, gain), 1) << "frame " << n;
        ASSERT_NEAR(file.samples[2 * n + 1], expected(n, gain), 1) << "frame " << n;
    }
    EXPECT_NEAR(file.samples[2 * 88199], expected(88199, 1.0 / 64), 1);
    EXPECT_NEAR(file.samples[2 * 88136], expected(88136, 1.0), 1);
    EXPECT_LT(file.samples[2 * 88199], file.samples[2 * 88135] / 32);
}

TEST(ProbeBounceSignal, ThePlugInsFirstInputIsSilence)
{
    // The probe passes its input through: a work buffer that was not
    // cleared would reach the file.
    BounceRig rig;
    rig.plugin().reportBounceEndAt(2000, 1, 2000 - 7 * 256);
    ASSERT_EQ(rig.bounce().writtenFrames, 2000u);
    const auto file = readWritten(rig.path());
    for (short sample : file.samples)
        ASSERT_EQ(sample, 0);
}

TEST(ProbeBouncePhases, PreRollCaptureAndRunOutInTheirBlocksPositionsAndMarker)
{
    // 10 x 44100 / 512 = 861.3: 862 blocks of 512 before and after; the
    // capture of T = 88220 processes blocks 0 ... 344 of 256 (345 calls).
    BounceRig rig;
    rig.plugin().readTimeInfo = true;
    rig.plugin().reportBounceEndAt(88220, 1, 156);
    rig.plugin().processes.clear();
    rig.plugin().parameters.clear();
    const VTBounceResult result = rig.bounce();
    EXPECT_EQ(result.preRollBlocks, 862u);

    const auto& calls = rig.plugin().processes;
    ASSERT_EQ(calls.size(), 862 + 345 + 862);
    const double q = 120.0 / 60.0 / 44100.0; // quarter notes per frame
    for (int i = 0; i < calls.size(); ++i) {
        const auto& call = calls.items[i];
        const bool capture = i >= 862 && i < 862 + 345;
        ASSERT_EQ(call.frames, capture ? 256 : 512) << "call " << i;
        ASSERT_EQ(call.inputs[0], call.outputs[0]) << "in place";
        double position = i < 862 ? 512 * q * i : 256 * q * (i - 862);
        if (i >= 862 + 345)
            position = 256 * q * 345 + 512 * q * (i - 862 - 345);
        ASSERT_NEAR(call.ppqPos, position, 1e-9) << "call " << i;
    }
    const auto& parameters = rig.plugin().parameters;
    ASSERT_EQ(parameters.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(parameters.items[i].index, 82);
    EXPECT_EQ(parameters.items[0].value, 0.0f);
    EXPECT_EQ(parameters.items[1].value, 1.0f);
    EXPECT_EQ(parameters.items[2].value, 0.0f);
    // The last transport request is the run-out's stop.
    EXPECT_FALSE(rig.engine.m_playStatus);
}

TEST(ProbeBouncePhases, APlugInThatNeverEndsIsCutAtSixteenMinutesAndSaved)
{
    // 960 s at 8000 Hz: 7680000 frames, on the 16000-frame grid (120 BPM).
    BounceRig rig(RigOptions{probe::bundlePath("Probe"), 8000, false});
    rig.plugin().gain = 0.0f;
    rig.plugin().offset = 0.25f;
    const VTBounceResult result = rig.bounce();
    EXPECT_FALSE(result.endReported);
    EXPECT_FALSE(result.writeFailed);
    EXPECT_EQ(result.capturedFrames, 7680000u);
    const auto file = readWritten(rig.path());
    EXPECT_EQ(file.frames, 7680000);
    EXPECT_EQ(file.dataFrames, 7680000u);
    EXPECT_EQ(file.samples[0], 8191);
}

TEST(ProbeBounceFailures, AFailedWriteIsReported)
{
    // /dev/full takes the header into its buffer and refuses every flush.
    BounceRig rig;
    rig.plugin().reportBounceEndAt(2000, 1, 2000 - 7 * 256);
    EXPECT_TRUE(rig.bounce("/dev/full").writeFailed);
    // A writer that never opened fails every write too.
    BounceRig unopened;
    unopened.plugin().reportBounceEndAt(2000, 1, 2000 - 7 * 256);
    EXPECT_TRUE(unopened.bounce(unopened.folder.file("missing/Bounce.wav")).writeFailed);
    EXPECT_FALSE(unopened.opened);
}

// ------------------------------------------------ the Kindra instrument

TEST(KindraBounce, ThePhraseEndsOnItsOwnAndLiveAudioRunsAgain)
{
    // 16 beats at 120 BPM, 44.1 kHz: 352800 frames + 1 ms release (44):
    // T 352844, M 352800 (8 periods), R 44 > 32: nothing trimmed.
    BounceRig rig(RigOptions{KINDRA_PLUGIN_BUNDLE, 44100, true});
    ASSERT_NE(rig.lib.m_plugin, nullptr);
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.audioWorld.runningStream().valid());
    rig.lib.m_plugin->setParameter(rig.lib.m_plugin, kParamRelease, 0.0f);
    const VTBounceResult result = rig.bounce();
    EXPECT_TRUE(result.endReported);
    EXPECT_FALSE(result.writeFailed);
    EXPECT_EQ(result.capturedFrames, 352844u);
    EXPECT_EQ(result.writtenFrames, 352844u);

    const auto file = readWritten(rig.path());
    ASSERT_TRUE(file.opened);
    EXPECT_EQ(file.frames, 352800);
    EXPECT_EQ(file.dataFrames, 352844u);
    short peak = 0;
    for (short sample : file.samples)
        peak = std::max<short>(peak, static_cast<short>(std::abs(sample)));
    EXPECT_GT(peak, 1600); // about 0.05 of full scale

    // Live audio again: the stream runs and the instrument answers it.
    EXPECT_TRUE(rig.engine.m_audioStarted);
    vt::testing::VirtualAudioStream stream = rig.audioWorld.runningStream();
    ASSERT_TRUE(stream.valid());
    std::vector<float> left(512, 9.0f), right(512, 9.0f);
    float* out[2] = {left.data(), right.data()};
    std::vector<float> silence(512, 0.0f);
    const float* in[2] = {silence.data(), silence.data()};
    EXPECT_EQ(stream.render(512, in, out), noErr);
    EXPECT_EQ(left[0], 0.0f); // rendered (not the 9.0 it was given)
}
