// The application around the real Kindra plug-in, on the offscreen
// platform: this program's bundle is named "Kindra" and holds the built
// plug-in as Contents/PlugIns/Kindra.vst.
#include "AppTestSupport.h"

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

} // namespace
