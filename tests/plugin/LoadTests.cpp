// The bundle as the application finds and loads it.
#include "KindraTestHost.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cstring>

using kindra::LoadedKindra;

TEST(KindraBundle, NamesItselfKindraInItsInfoPlist)
{
    CFStringRef path = CFStringCreateWithCString(nullptr, KINDRA_PLUGIN_BUNDLE, kCFStringEncodingUTF8);
    CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, path, kCFURLPOSIXPathStyle, true);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    ASSERT_NE(bundle, nullptr);
    for (CFStringRef key : {CFSTR("CFBundleName"), CFSTR("CFBundleExecutable")}) {
        auto value = static_cast<CFStringRef>(CFBundleGetValueForInfoDictionaryKey(bundle, key));
        ASSERT_NE(value, nullptr);
        char text[32] = {};
        ASSERT_TRUE(CFStringGetCString(value, text, sizeof(text), kCFStringEncodingUTF8));
        EXPECT_STREQ(text, "Kindra");
    }
    CFRelease(bundle);
    CFRelease(url);
    CFRelease(path);
}

TEST(KindraLoad, LoadsThroughTheHostingLibraryAsASynthWithTwoOutputs)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    AEffect* e = kindra.effect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_NE(e->flags & effFlagsIsSynth, 0);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->setParameter, nullptr);
    // The record is ours: its object is the instrument behind it.
    EXPECT_EQ(kindra.object().effect(), e);
}

TEST(KindraLoad, AppendsAllSixCommandEntriesAfterTheRecord)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    const VTEffectCommands& c = kindra.commands();
    EXPECT_NE(c.undo, nullptr);
    EXPECT_NE(c.redo, nullptr);
    EXPECT_NE(c.openAbout, nullptr);
    EXPECT_NE(c.openHelp, nullptr);
    EXPECT_NE(c.checkForUpdates, nullptr);
    EXPECT_NE(c.wantsKeyboard, nullptr);
}

TEST(KindraLoad, TwoInstancesKeepTheirOwnParameters)
{
    LoadedKindra first;
    LoadedKindra second;
    ASSERT_TRUE(first.loaded);
    ASSERT_TRUE(second.loaded);
    first.setParameter(kParamCutoff, 0.1f);
    second.setParameter(kParamCutoff, 0.9f);
    EXPECT_FLOAT_EQ(first.getParameter(kParamCutoff), 0.1f);
    EXPECT_FLOAT_EQ(second.getParameter(kParamCutoff), 0.9f);
}

// Name, unit and display for every parameter fit the 8-byte host buffers.
class ParameterTexts : public testing::TestWithParam<int> {};

TEST_P(ParameterTexts, FitTheHostsEightByteBuffers)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    const int index = GetParam();
    for (float value : {0.0f, 0.37f, 1.0f}) {
        kindra.setParameter(index, value);
        for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
            char text[64];
            std::memset(text, 'x', sizeof(text));
            EXPECT_EQ(kindra.dispatch(opcode, index, 0, text), 1);
            EXPECT_LT(std::strlen(text), 8u) << "opcode " << opcode;
            EXPECT_EQ(text[8], 'x') << "opcode " << opcode << " wrote past 8 bytes";
        }
    }
    char name[64] = {};
    kindra.dispatch(effGetParamName, index, 0, name);
    EXPECT_GT(std::strlen(name), 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryParameter, ParameterTexts, testing::Range(0, static_cast<int>(kParamCount)));

struct DisplayCase {
    int index;
    float value;
    const char* display;
    const char* label;
};

void PrintTo(const DisplayCase& c, std::ostream* os)
{
    *os << "param " << c.index << " at " << c.value << " shows " << c.display << " " << c.label;
}

class ParameterDisplay : public testing::TestWithParam<DisplayCase> {};

TEST_P(ParameterDisplay, ShowsTheValueInItsUnit)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    const DisplayCase& c = GetParam();
    kindra.setParameter(c.index, c.value);
    char display[64] = {}, label[64] = {};
    kindra.dispatch(effGetParamDisplay, c.index, 0, display);
    kindra.dispatch(effGetParamLabel, c.index, 0, label);
    EXPECT_STREQ(display, c.display);
    EXPECT_STREQ(label, c.label);
}

// Times run 1 ms .. 5000 ms exponentially (5000^0.5 = 70.7 ms), cutoff
// 20 Hz .. 20 kHz (20 * 1000^0.5 = 632 Hz), volume -60 .. +6 dB linearly.
INSTANTIATE_TEST_SUITE_P(
    Units, ParameterDisplay,
    testing::Values(DisplayCase{kParamOsc1Wave, 0.0f, "Saw", ""}, DisplayCase{kParamOsc1Wave, 1.0f, "Square", ""},
                    DisplayCase{kParamRelease, 0.0f, "1.0", "ms"}, DisplayCase{kParamRelease, 0.5f, "70.7", "ms"},
                    DisplayCase{kParamRelease, 1.0f, "5000", "ms"}, DisplayCase{kParamCutoff, 0.5f, "632", "Hz"},
                    DisplayCase{kParamCutoff, 1.0f, "20000", "Hz"}, DisplayCase{kParamVolume, 0.0f, "-60.0", "dB"},
                    DisplayCase{kParamVolume, 1.0f, "6.0", "dB"}, DisplayCase{kParamSustain, 0.25f, "25", "%"}));
