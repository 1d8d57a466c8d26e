// The requests of the hosted-plug-in contract, one behaviour at a time.
#include "KindraTestHost.h"

#include <cstring>

using kindra::Event;
using kindra::LoadedKindra;

namespace {

// A plain, bright saw from the first oscillator only, so that its period
// can be read from the output: full cutoff, no resonance, no filter
// envelope, fastest attack, full sustain.
void plainSaw(LoadedKindra& kindra)
{
    kindra.setParameter(kParamOsc1Wave, 0.0f);
    kindra.setParameter(kParamOscMix, 0.0f);
    kindra.setParameter(kParamCutoff, 1.0f);
    kindra.setParameter(kParamResonance, 0.0f);
    kindra.setParameter(kParamEnvAmount, 0.0f);
    kindra.setParameter(kParamAttack, 0.0f);
    kindra.setParameter(kParamSustain, 1.0f);
}

// Frequency from the upward zero crossings, interpolated between samples.
double measuredFrequency(const std::vector<float>& samples, double sampleRate)
{
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0.0f && samples[i] >= 0.0f) {
            const double t = (i - 1) + samples[i - 1] / (samples[i - 1] - samples[i]);
            if (first < 0.0)
                first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0.0;
    return (crossings - 1) * sampleRate / (last - first);
}

} // namespace

struct PitchCase {
    float sampleRate;
    int bend; // 14-bit wheel position
    double frequency;
};

void PrintTo(const PitchCase& c, std::ostream* os)
{
    *os << c.sampleRate << " Hz, wheel " << c.bend << " -> " << c.frequency << " Hz";
}

class Pitch : public testing::TestWithParam<PitchCase> {};

TEST_P(Pitch, FollowsTheSampleRateTheHostSetsAndThePitchWheel)
{
    const PitchCase& c = GetParam();
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    plainSaw(kindra);
    kindra.start(c.sampleRate);
    kindra.send({{0, 0xE0, static_cast<unsigned char>(c.bend & 0x7F), static_cast<unsigned char>(c.bend >> 7)},
                 {0, 0x90, 69, 127}});
    // Skip the attack, then measure over half a second.
    kindra.renderLeft(static_cast<int>(c.sampleRate / 10));
    const std::vector<float> tone = kindra.renderLeft(static_cast<int>(c.sampleRate / 2));
    EXPECT_NEAR(measuredFrequency(tone, c.sampleRate), c.frequency, 0.5);
}

// A4 is 440 Hz at every rate; the wheel bends two semitones either way:
// 440 * 2^(2/12) = 493.88 Hz, 440 * 2^(-2/12) = 392.00 Hz.
INSTANTIATE_TEST_SUITE_P(RatesAndBends, Pitch,
                         testing::Values(PitchCase{44100.0f, 8192, 440.0}, PitchCase{48000.0f, 8192, 440.0},
                                         PitchCase{96000.0f, 8192, 440.0}, PitchCase{48000.0f, 16383, 493.87},
                                         PitchCase{48000.0f, 0, 392.0}));

TEST(BlockSize, TheSoundDoesNotDependOnHowTheHostCutsItsBlocks)
{
    // The same note rendered as one 4096-frame block, as 16 x 256 and as
    // 64 x 64 must give the same samples.
    std::vector<std::vector<float>> takes;
    for (int block : {4096, 256, 64}) {
        LoadedKindra kindra;
        ASSERT_TRUE(kindra.loaded);
        kindra.start(48000.0f);
        kindra.dispatch(effSetBlockSize, 0, block);
        kindra.send({{0, 0x90, 60, 100}, {0, 0x90, 64, 90}});
        takes.push_back(kindra.renderLeft(4096, block));
    }
    EXPECT_GT(kindra::peak(takes[0]), 0.01f);
    EXPECT_EQ(takes[0], takes[1]);
    EXPECT_EQ(takes[0], takes[2]);
}

TEST(MainsChanged, ResumingSilencesNotesLeftFromBefore)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.start(48000.0f);
    kindra.send({{0, 0x90, 60, 100}});
    kindra.render(256);
    ASSERT_FALSE(kindra::silent(kindra.left.data(), 256));
    kindra.dispatch(effMainsChanged, 0, 0);
    kindra.dispatch(effMainsChanged, 0, 1);
    kindra.render(256);
    EXPECT_TRUE(kindra::silent(kindra.left.data(), 256));
    EXPECT_EQ(kindra.object().synth().activeVoiceCount(), 0);
}

TEST(EditorRect, IsTheCompactViewAtTheOrigin)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    ERect* rect = nullptr;
    EXPECT_EQ(kindra.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->right, KindraEditorState::kCompactWidth);
    EXPECT_EQ(rect->bottom, KindraEditorState::kCompactHeight);
    EXPECT_EQ(kindra.dispatch(effEditGetRect, 0, 0, nullptr), 0);
}

class EditorWithoutDisplay : public testing::TestWithParam<const char*> {};

TEST_P(EditorWithoutDisplay, OpensNothingAndIsSafeToIdleAndClose)
{
    LoadedKindra kindra; // clears DISPLAY
    ASSERT_TRUE(kindra.loaded);
    if (GetParam() != nullptr)
        setenv("DISPLAY", GetParam(), 1);
    EXPECT_NE(kindra.effect()->flags & effFlagsHasEditor, 0);
    // A made-up parent window id: nothing may be created in it.
    void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(0x2a00001));
    EXPECT_EQ(kindra.dispatch(effEditOpen, 0, 0, parent), 0);
    kindra.dispatch(effEditIdle);
    kindra.dispatch(effEditClose);
    kindra.dispatch(effEditClose);
    // Opening again after a close behaves the same.
    EXPECT_EQ(kindra.dispatch(effEditOpen, 0, 0, parent), 0);
    kindra.dispatch(effEditIdle);
    unsetenv("DISPLAY");
}

// No DISPLAY at all, and one that names a server nobody runs.
INSTANTIATE_TEST_SUITE_P(Displays, EditorWithoutDisplay, testing::Values(nullptr, ":917"));

TEST(EditorWithoutParent, OpensNothing)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    EXPECT_EQ(kindra.dispatch(effEditOpen, 0, 0, nullptr), 0);
    kindra.dispatch(effEditClose);
}

struct CanDoCase {
    const char* capability;
    VstIntPtr answer;
};

void PrintTo(const CanDoCase& c, std::ostream* os)
{
    *os << "\"" << c.capability << "\" -> " << c.answer;
}

class CanDo : public testing::TestWithParam<CanDoCase> {};

TEST_P(CanDo, AnswersWhatTheInstrumentSupports)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    char text[64];
    std::strcpy(text, GetParam().capability);
    EXPECT_EQ(kindra.dispatch(effCanDo, 0, 0, text), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(Capabilities, CanDo,
                         testing::Values(CanDoCase{"receiveVstMidiEvent", 1}, CanDoCase{"sendVstMidiEvent", 1},
                                         CanDoCase{"receiveVstEvents", 1}, CanDoCase{"sendVstEvents", 1},
                                         CanDoCase{"forceCocoaMode", -1}, CanDoCase{"offline", 0}, CanDoCase{"", 0}));

TEST(CanDo, ANullCapabilityIsNotAYes)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    EXPECT_EQ(kindra.dispatch(effCanDo, 0, 0, nullptr), 0);
}

TEST(ProcessEvents, ANoteSoundsFromItsFrameOnAndNotBefore)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.start(44100.0f);
    kindra.send({{100, 0x90, 57, 110}});
    kindra.render(256);
    EXPECT_TRUE(kindra::silent(kindra.left.data(), 100));
    EXPECT_TRUE(kindra::silent(kindra.right.data(), 100));
    EXPECT_FALSE(kindra::silent(kindra.left.data() + 100, 156));
    EXPECT_FALSE(kindra::silent(kindra.right.data() + 100, 156));
}

TEST(ProcessEvents, EventsPastTheBlockStillPlayInIt)
{
    // A host that sends an offset beyond the block must not make the
    // instrument read or write past the buffers; the note starts at the end.
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.start(44100.0f);
    kindra.send({{5000, 0x90, 57, 110}, {-3, 0x90, 64, 110}});
    kindra.render(64);
    EXPECT_EQ(kindra.object().synth().activeVoiceCount(), 2);
}

TEST(ProcessEvents, ANullListOrNullBuffersLeaveTheInstrumentWorking)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.start(44100.0f);
    EXPECT_EQ(kindra.dispatch(effProcessEvents, 0, 0, nullptr), 1);
    float* none[2] = {nullptr, nullptr};
    kindra.effect()->processReplacing(kindra.effect(), none, none, 64);
    kindra.effect()->processReplacing(kindra.effect(), nullptr, nullptr, 64);
    kindra.send({{0, 0x90, 60, 100}});
    kindra.render(128);
    EXPECT_FALSE(kindra::silent(kindra.left.data(), 128));
}

struct KeyCase {
    int character;
    int virtualKey;
    VstIntPtr consumed;
};

void PrintTo(const KeyCase& c, std::ostream* os)
{
    *os << "character " << c.character << " key " << c.virtualKey << (c.consumed ? " used" : " declined");
}

class EditorKeys : public testing::TestWithParam<KeyCase> {};

TEST_P(EditorKeys, ConsumesOnlyTheKeysTheEditorUses)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    const KeyCase& c = GetParam();
    // The first control (a parameter) is selected at start.
    EXPECT_EQ(kindra.dispatch(effEditKeyDown, c.character, c.virtualKey), c.consumed);
    EXPECT_EQ(kindra.dispatch(effEditKeyUp, c.character, c.virtualKey), c.consumed);
}

// Arrow keys carry function-key characters (0xF700...) and VKEY 11..14;
// letters and space carry virtual key 0 or 7 and belong to the host.
INSTANTIATE_TEST_SUITE_P(Keys, EditorKeys,
                         testing::Values(KeyCase{0xF702, kKeyLeft, 1}, KeyCase{0xF703, kKeyRight, 1},
                                         KeyCase{0xF700, kKeyUp, 1}, KeyCase{0xF701, kKeyDown, 1}, KeyCase{'a', 0, 0},
                                         KeyCase{'z', 0, 0}, KeyCase{' ', 7, 0}, KeyCase{3, kKeyReturn, 0},
                                         KeyCase{27, kKeyEscape, 0}, KeyCase{0xF704, 40, 0}));

TEST(EditorKeys, UpAndDownAdjustTheSelectedControlByOneStep)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    // Right moves from the first control to the next: the second oscillator.
    kindra.dispatch(effEditKeyDown, 0xF703, kKeyRight);
    ASSERT_EQ(kindra.object().editorState().selected(), kParamOsc2Wave);
    kindra.setParameter(kParamOsc2Wave, 1.0f);
    kindra.dispatch(effEditKeyDown, 0xF701, kKeyDown);
    EXPECT_EQ(kindra.getParameter(kParamOsc2Wave), 0.0f); // a switch flips in one step
    // Two more to the right: the mix, a continuous control, moves by 1 %.
    kindra.dispatch(effEditKeyDown, 0xF703, kKeyRight);
    kindra.dispatch(effEditKeyDown, 0xF703, kKeyRight);
    ASSERT_EQ(kindra.object().editorState().selected(), kParamOscMix);
    kindra.setParameter(kParamOscMix, 0.5f);
    kindra.dispatch(effEditKeyDown, 0xF700, kKeyUp);
    kindra.dispatch(effEditKeyDown, 0xF700, kKeyUp);
    EXPECT_NEAR(kindra.getParameter(kParamOscMix), 0.52f, 1e-6);
    // Left from the first control wraps to the last one, the view button.
    for (int i = 0; i < 4; ++i)
        kindra.dispatch(effEditKeyDown, 0xF702, kKeyLeft);
    EXPECT_EQ(kindra.object().editorState().selected(), kControlView);
}
