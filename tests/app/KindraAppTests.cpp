// The application around the real Kindra plug-in, on the offscreen
// platform: this program's bundle is named "Kindra" and holds the built
// plug-in as Contents/PlugIns/Kindra.vst.
#include "AppTestSupport.h"

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

} // namespace
