// Notes in and out: what the instrument plays it tells the host, and the
// voices follow the pedal and the sixteen-voice limit.
#include "KindraTestHost.h"

using kindra::LoadedKindra;
using kindra::MidiOut;

namespace {

bool sameMessage(const MidiOut& out, int frame, int status, int data1, int data2)
{
    return out.frame == frame && out.status == status && out.data1 == data1 && out.data2 == data2;
}

// The shortest release (1 ms) so that a released note is gone within a
// block.
void shortRelease(LoadedKindra& kindra)
{
    kindra.setParameter(kParamRelease, 0.0f);
}

} // namespace

TEST(NotesOut, EveryNotePlayedGoesToTheHostAtItsFrame)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.start(48000.0f);
    kindra.send({{10, 0x90, 60, 100}, {20, 0x91, 64, 90}, {200, 0x80, 60, 0}});
    kindra.render(256);
    const auto& midi = kindra.recorder.midi;
    ASSERT_EQ(midi.size(), 3u);
    EXPECT_TRUE(sameMessage(midi[0], 10, 0x90, 60, 100));
    EXPECT_TRUE(sameMessage(midi[1], 20, 0x91, 64, 90));
    EXPECT_TRUE(sameMessage(midi[2], 200, 0x80, 60, 0));
}

TEST(NotesOut, ControllersAndBendAreNotSentAndNothingIsSentWithoutNotes)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.start(48000.0f);
    kindra.render(256);
    kindra.send({{0, 0xB0, 64, 127}, {5, 0xE0, 0, 80}});
    kindra.render(256);
    EXPECT_TRUE(kindra.recorder.midi.empty());
}

TEST(NotesOut, EventsTheHostSentOutOfOrderAreSentInTimeOrder)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.start(48000.0f);
    kindra.send({{90, 0x90, 62, 100}, {30, 0x90, 60, 100}});
    kindra.render(128);
    ASSERT_EQ(kindra.recorder.midi.size(), 2u);
    EXPECT_EQ(kindra.recorder.midi[0].frame, 30);
    EXPECT_EQ(kindra.recorder.midi[1].frame, 90);
}

TEST(NotesIn, AVelocityZeroNoteOnEndsTheNote)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    shortRelease(kindra);
    kindra.start(48000.0f);
    kindra.send({{0, 0x90, 60, 100}});
    kindra.render(256);
    kindra.send({{0, 0x90, 60, 0}});
    kindra.render(256); // 1 ms = 48 frames of release
    EXPECT_EQ(kindra.object().synth().activeVoiceCount(), 0);
    kindra.render(256);
    EXPECT_TRUE(kindra::silent(kindra.left.data(), 256));
}

TEST(NotesIn, VelocityMakesANoteLouder)
{
    float peaks[2] = {};
    const unsigned char velocities[2] = {30, 127};
    for (int k = 0; k < 2; ++k) {
        LoadedKindra kindra;
        ASSERT_TRUE(kindra.loaded);
        kindra.start(48000.0f);
        kindra.send({{0, 0x90, 60, velocities[k]}});
        peaks[k] = kindra::peak(kindra.renderLeft(9600));
    }
    EXPECT_GT(peaks[1], 2.0f * peaks[0]);
}

TEST(SustainPedal, HoldsReleasedNotesUntilItIsLifted)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    shortRelease(kindra);
    kindra.start(48000.0f);
    kindra.send({{0, 0xB0, 64, 127}, {0, 0x90, 60, 100}, {0, 0x90, 64, 100}});
    kindra.render(256);
    kindra.send({{0, 0x80, 60, 0}, {0, 0x80, 64, 0}});
    kindra.render(256);
    kindra.render(256);
    EXPECT_EQ(kindra.object().synth().activeVoiceCount(), 2);
    EXPECT_FALSE(kindra::silent(kindra.left.data(), 256));
    kindra.send({{0, 0xB0, 64, 0}});
    kindra.render(256);
    EXPECT_EQ(kindra.object().synth().activeVoiceCount(), 0);
}

TEST(SustainPedal, ANoteStillHeldWhenThePedalLiftsKeepsSounding)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    shortRelease(kindra);
    kindra.start(48000.0f);
    kindra.send({{0, 0xB0, 64, 127}, {0, 0x90, 60, 100}, {0, 0x90, 67, 100}, {10, 0x80, 60, 0}});
    kindra.render(256);
    kindra.send({{0, 0xB0, 64, 0}});
    kindra.render(256);
    // 60 was released under the pedal and ends now; 67 is still held.
    EXPECT_EQ(kindra.object().synth().activeVoiceCount(), 1);
}

TEST(VoiceStealing, SixteenVoicesSoundAndTheOldestNotesAreTaken)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    shortRelease(kindra);
    kindra.start(48000.0f);
    // Twenty notes, 40 .. 59, one frame apart: the first four are stolen.
    for (int n = 0; n < 20; ++n)
        kindra.send({{n, 0x90, static_cast<unsigned char>(40 + n), 100}});
    // Every list sent before the block plays in it.
    kindra.render(256);
    EXPECT_EQ(kindra.object().synth().activeVoiceCount(), 16);
    EXPECT_EQ(kindra.recorder.midi.size(), 20u);

    // Releasing the stolen notes ends nothing ...
    kindra.send({{0, 0x80, 40, 0}, {0, 0x80, 41, 0}, {0, 0x80, 42, 0}, {0, 0x80, 43, 0}});
    kindra.render(256);
    EXPECT_EQ(kindra.object().synth().activeVoiceCount(), 16);
    // ... releasing the newest ends exactly one voice.
    kindra.send({{0, 0x80, 59, 0}});
    kindra.render(256);
    EXPECT_EQ(kindra.object().synth().activeVoiceCount(), 15);
}

TEST(VoiceStealing, ARepeatedNoteReusesItsVoice)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.start(48000.0f);
    kindra.send({{0, 0x90, 60, 100}, {50, 0x90, 60, 100}, {100, 0x90, 60, 100}});
    kindra.render(256);
    EXPECT_EQ(kindra.object().synth().activeVoiceCount(), 1);
}

TEST(Output, StaysFiniteAndBoundedWithSixteenLoudResonantVoices)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.setParameter(kParamResonance, 1.0f);
    kindra.setParameter(kParamEnvAmount, 1.0f);
    kindra.setParameter(kParamVolume, 1.0f);
    kindra.start(44100.0f);
    for (int n = 0; n < 16; ++n)
        kindra.send({{0, 0x90, static_cast<unsigned char>(24 + 6 * n), 127}});
    kindra.render(16);
    const std::vector<float> out = kindra.renderLeft(44100);
    for (float s : out)
        ASSERT_TRUE(std::isfinite(s));
    // 16 voices x 0.25 x 2 (+6 dB) x full-scale waves: a resonant peak may
    // rise above that, but not without bound.
    EXPECT_LT(kindra::peak(out), 40.0f);
}
