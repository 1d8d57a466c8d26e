// The offline render as the host drives it: pre-roll with parameter 82 at
// 0, capture in 256-frame blocks with 82 at 1 until the instrument reports
// the end through request 52, then run-out with 82 at 0.
#include "KindraTestHost.h"

using kindra::LoadedKindra;

namespace {

struct Capture {
    int64_t framesWritten = 0; // F: whole blocks before the ending block
    int offset = -1;           // o: the reported frame inside that block
    std::vector<float> audio;  // every captured frame, left channel
};

// The host's capture loop: advance the song position after every block,
// leave when an end is reported in a block after the first. The host does
// not start its transport during the render (its audio cycle is stopped),
// so the play flag stays off here: the marker alone starts the phrase.
Capture capture(LoadedKindra& kindra, int64_t maxFrames)
{
    VstTimeInfo& time = kindra.lib.m_host.m_vstTimeInfo;
    const double quartersPerFrame = time.tempo / 60.0 / time.sampleRate;
    kindra.setParameter(kBounceCaptureParam, 1.0f);
    time.ppqPos = 0.0;
    Capture result;
    for (int64_t frames = 0; frames < maxFrames; frames += 256) {
        kindra.recorder.bounces.clear();
        kindra.render(256);
        time.ppqPos += 256 * quartersPerFrame;
        result.audio.insert(result.audio.end(), kindra.left.begin(), kindra.left.begin() + 256);
        const bool done = !kindra.recorder.bounces.empty() && kindra.recorder.bounces.back().first;
        if (done && frames != 0) {
            result.framesWritten = frames;
            result.offset = kindra.recorder.bounces.back().second;
            return result;
        }
    }
    return result;
}

void preRoll(LoadedKindra& kindra, int blocks)
{
    kindra.setParameter(kBounceCaptureParam, 0.0f);
    for (int i = 0; i < blocks; ++i)
        kindra.render(512);
}

} // namespace

struct BounceCase {
    double tempo;
    float sampleRate;
    float release; // normalized: 0 is 1 ms, 1 is 5000 ms
    int64_t endFrame;
};

void PrintTo(const BounceCase& c, std::ostream* os)
{
    *os << c.tempo << " BPM at " << c.sampleRate << " Hz, release " << c.release << " -> end " << c.endFrame;
}

class BouncePhrase : public testing::TestWithParam<BounceCase> {};

TEST_P(BouncePhrase, EndsWithRequest52AtTheFrameThePhraseAndReleaseEnd)
{
    const BounceCase& c = GetParam();
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.setParameter(kParamRelease, c.release);
    kindra.start(c.sampleRate);
    kindra.lib.m_host.m_vstTimeInfo.tempo = c.tempo;

    preRoll(kindra, 20);
    EXPECT_TRUE(kindra.recorder.bounces.empty());

    const Capture result = capture(kindra, c.endFrame + 4096);
    ASSERT_GE(result.offset, 0) << "no end reported";
    EXPECT_GE(result.offset, 0);
    EXPECT_LE(result.offset, 256);
    EXPECT_EQ(result.framesWritten + result.offset, c.endFrame);

    // The phrase was heard, and nothing sounds from the end on.
    EXPECT_GT(kindra::peak(result.audio), 0.05f);
    const int64_t end = c.endFrame;
    ASSERT_LE(end, static_cast<int64_t>(result.audio.size()));
    EXPECT_TRUE(kindra::silent(result.audio.data() + end, static_cast<int>(result.audio.size() - end)));
    EXPECT_FALSE(kindra::silent(result.audio.data() + end - 256, 256));
}

// Four bars of 4/4 are 16 beats = 16 x 60 / tempo seconds, then the last
// notes' release:
//   120 BPM, 44.1 kHz: 8 s = 352800 frames + 1 ms (44.1 -> 44)   = 352844
//   90 BPM, 48 kHz:  10.667 s = 512000 frames + 5 s (240000)     = 752000
//   150 BPM, 44.1 kHz: 6.4 s = 282240 frames + 44                = 282284
//   240 BPM, 96 kHz:  4 s = 384000 frames + 5 s (480000)         = 864000,
//   a multiple of 256: the end falls on the last frame of a block (o = 256).
INSTANTIATE_TEST_SUITE_P(TemposAndRates, BouncePhrase,
                         testing::Values(BounceCase{120.0, 44100.0f, 0.0f, 352844},
                                         BounceCase{90.0, 48000.0f, 1.0f, 752000},
                                         BounceCase{150.0, 44100.0f, 0.0f, 282284},
                                         BounceCase{240.0, 96000.0f, 1.0f, 864000}));

TEST(Bounce, AMissedEndIsReportedAgainInTheNextBlockAtItsStart)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.setParameter(kParamRelease, 0.0f);
    kindra.start(44100.0f);
    const Capture first = capture(kindra, 400000);
    ASSERT_GE(first.offset, 0);
    // The host stays in the capture for one more block.
    kindra.recorder.bounces.clear();
    kindra.render(256);
    ASSERT_EQ(kindra.recorder.bounces.size(), 1u);
    EXPECT_TRUE(kindra.recorder.bounces[0].first);
    EXPECT_EQ(kindra.recorder.bounces[0].second, 0);
}

TEST(Bounce, RunOutAndAnyValueButOneIgnoreTheMarker)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.setParameter(kParamRelease, 0.0f);
    kindra.start(44100.0f);
    // 0.5 and 0.999 are no capture: no phrase plays, no end is reported.
    for (float value : {0.5f, 0.999f}) {
        kindra.setParameter(kBounceCaptureParam, value);
        for (int i = 0; i < 800; ++i) {
            kindra.render(512);
            ASSERT_TRUE(kindra::silent(kindra.left.data(), 512));
        }
    }
    EXPECT_TRUE(kindra.recorder.bounces.empty());
    EXPECT_EQ(kindra.getParameter(kBounceCaptureParam), 0.0f);

    // After a capture the run-out is silent once the phrase's notes release.
    ASSERT_GE(capture(kindra, 400000).offset, 0);
    kindra.recorder.bounces.clear();
    preRoll(kindra, 100);
    EXPECT_TRUE(kindra.recorder.bounces.empty());
    EXPECT_TRUE(kindra::silent(kindra.left.data(), 512));
}

TEST(Bounce, StoppingTheCaptureEarlyReleasesThePhrase)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.setParameter(kParamRelease, 0.0f);
    kindra.start(44100.0f);
    kindra.setParameter(kBounceCaptureParam, 1.0f);
    for (int i = 0; i < 100; ++i)
        kindra.render(256);
    ASSERT_GT(kindra.object().synth().activeVoiceCount(), 0);
    kindra.setParameter(kBounceCaptureParam, 0.0f);
    kindra.render(256);
    kindra.render(256);
    EXPECT_EQ(kindra.object().synth().activeVoiceCount(), 0);
    EXPECT_TRUE(kindra.recorder.bounces.empty());
}

TEST(Bounce, ThePhraseStartsAgainFromItsBeginningInTheNextCapture)
{
    // Two bounces in a row end at the same frame: the second does not
    // continue where the first stopped.
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.setParameter(kParamRelease, 0.0f);
    kindra.start(44100.0f);
    const Capture first = capture(kindra, 400000);
    preRoll(kindra, 10);
    const Capture second = capture(kindra, 400000);
    ASSERT_GE(first.offset, 0);
    EXPECT_EQ(second.framesWritten + second.offset, first.framesWritten + first.offset);
    EXPECT_EQ(second.audio, first.audio);
}

TEST(Bounce, ThePhraseNotesStayInsideTheInstrument)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.setParameter(kParamRelease, 0.0f);
    kindra.start(44100.0f);
    ASSERT_GE(capture(kindra, 400000).offset, 0);
    EXPECT_TRUE(kindra.recorder.midi.empty());
}
