// The application around the real Kindra plug-in, on the offscreen
// platform: this program's bundle is named "Kindra" and holds the built
// plug-in as Contents/PlugIns/Kindra.vst.
#include "AppTestSupport.h"
#include "KindraParameters.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace apptest;

namespace {

// One of the plug-in's parameters (the oscillator mix).
constexpr VstInt32 kMixParameter = 3;

TEST_F(KindraApp, ThePluginsStateSurvivesAQuitAndANewStart)
{
    useContentFolder();

    // --- the first run: the user changes a sound, plays, quits
    launch();
    ASSERT_NE(effect(), nullptr);
    EXPECT_EQ(window().title().utf8(), "Kindra");
    // Without a display no editor is asked for: the fixed area plus 28.
    EXPECT_FALSE(window().editorOpen());
    EXPECT_EQ(window().frame().size.width, 600);
    EXPECT_EQ(window().frame().size.height, 428);
    activate();
    ASSERT_TRUE(user.runUntil([&] { return window().audioStarted(); }));
    const float before = effect()->getParameter(effect(), kMixParameter);
    const float chosen = before < 0.5f ? 0.75f : 0.25f;
    effect()->setParameter(effect(), kMixParameter, chosen);
    quit();
    EXPECT_TRUE(fs::exists(chunkFile()));
    app.reset();

    // --- the second run, as a new process reads the files
    vt::testing::forgetPreferencesInMemory();
    launch();
    ASSERT_NE(effect(), nullptr);
    EXPECT_FLOAT_EQ(effect()->getParameter(effect(), kMixParameter), chosen);
    // The devices chosen in the first run are the stored ones now.
    ASSERT_NE(window().registry()->outputDevice, nullptr);
    EXPECT_EQ(window().registry()->outputDevice->name, "Studio Interface");
}

// The loudest sample of the running stream's next buffers, as the output
// device plays them.
float loudestOf(vt::testing::VirtualAudioWorld& world, int buffers)
{
    constexpr unsigned kFrames = 256;
    vt::testing::VirtualAudioStream stream = world.runningStream();
    if (!stream.valid())
        return -1.0f;
    std::vector<std::vector<float>> in(stream.inputChannels(), std::vector<float>(kFrames));
    std::vector<std::vector<float>> out(stream.outputChannels(), std::vector<float>(kFrames));
    std::vector<const float*> inPointers;
    std::vector<float*> outPointers;
    for (auto& channel : in)
        inPointers.push_back(channel.data());
    for (auto& channel : out)
        outPointers.push_back(channel.data());
    float loudest = 0.0f;
    for (int b = 0; b < buffers; ++b) {
        if (stream.render(kFrames, inPointers.data(), outPointers.data()) != noErr)
            return -1.0f;
        for (const auto& channel : out)
            for (float sample : channel)
                loudest = std::max(loudest, std::fabs(sample));
    }
    return loudest;
}

TEST_F(KindraApp, ATypedDPlaysThePluginsNoteOnTheOutputDevice)
{
    launch();
    ASSERT_NE(effect(), nullptr);
    activate();
    ASSERT_TRUE(window().audioStarted());
    EXPECT_EQ(loudestOf(audioWorld, 4), 0.0f);

    EXPECT_TRUE(user.keyDown(&window(), "D"));
    EXPECT_GT(loudestOf(audioWorld, 8), 0.01f);
    EXPECT_TRUE(user.keyUp(&window(), "D"));
}

TEST_F(KindraApp, ABounceOfThePhraseIsSavedOnItsGridAndLiveAudioPlaysAgain)
{
    // 16 beats at 120 BPM and 48 kHz: 384000 frames, then the 1 ms release
    // (48): T 384048, grid 48000, M 384000, R 48 > 32 so nothing is
    // trimmed; the header states 384000.
    vt::testing::TemporaryFolder saved{"kindra-saved"};
    launch();
    ASSERT_NE(effect(), nullptr);
    activate();
    ASSERT_TRUE(window().audioStarted());
    effect()->setParameter(effect(), kParamRelease, 0.0f);
    const std::string target = saved.file("Phrase.wav");
    user.chooseInSavePanel(target);
    user.pressAlertButton();
    ASSERT_TRUE(user.chooseMenuItem(app->bounceItem));
    ASSERT_EQ(user.shown().size(), 2u);
    EXPECT_EQ(user.shown()[1].messageText, "Kindra");
    EXPECT_EQ(user.shown()[1].informativeText, "Bounce saved successfully!");

    SF_INFO info{};
    SNDFILE* file = sf_open(target.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.frames, 384000);
    std::vector<short> samples(static_cast<size_t>(info.frames) * 2);
    EXPECT_EQ(sf_readf_short(file, samples.data(), info.frames), info.frames);
    sf_close(file);
    EXPECT_EQ(fs::file_size(target), 44u + 384048u * 4);
    int peak = 0;
    for (short sample : samples)
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    EXPECT_GT(peak, 1600); // about 0.05 of full scale

    // Live audio again: a typed note sounds on the device.
    EXPECT_TRUE(window().hostInterface().m_audioStarted.load());
    EXPECT_TRUE(user.keyDown(&window(), "D"));
    EXPECT_GT(loudestOf(audioWorld, 8), 0.01f);
    EXPECT_TRUE(user.keyUp(&window(), "D"));
}

} // namespace
