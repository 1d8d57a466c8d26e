// The preferences and tempo windows inside the application: what the first
// activation hands them, the audio failure report and the menu's items.
#include "AppTestSupport.h"

#include <AppKit/AppKit.h>

using namespace apptest;

namespace {

class AuxiliaryWindows : public KindraApp {
protected:
    void launchAndActivate()
    {
        launch();
        ASSERT_NE(effect(), nullptr);
        activate();
        ASSERT_TRUE(user.runUntil([&] { return window().audioStarted(); }));
    }
};

} // namespace

TEST_F(AuxiliaryWindows, TheFirstActivationHandsTheMainWindowsObjectsToBoth)
{
    launchAndActivate();
    EXPECT_EQ(app->preferences().hostInterface(), &window().hostInterface());
    EXPECT_EQ(app->tempo().pluginWindow(), &window());

    // A tempo typed in the tempo window reaches the main window's engine and
    // store, and so its title.
    ASSERT_TRUE(user.chooseMenuItem(app->tempoItem));
    EXPECT_EQ(user.type(app->tempo()._tempoTextField, "90"), "90");
    EXPECT_EQ(window().hostInterface().m_tempo.load(), 90.0);
    EXPECT_EQ(window().registry()->tempo.load(), 90.0);
    EXPECT_TRUE(user.runUntil([&] { return window().title().utf8() == "Pyrole | Tempo: 90.00"; }));
}

TEST_F(AuxiliaryWindows, AnAudioFailureAtStartOpensThePreferencesWindow)
{
    audioWorld.removeDevice(studio);
    audioWorld.hideNullDevice();
    launch();
    ASSERT_NE(effect(), nullptr);
    effect()->flags |= effFlagsIsSynth; // starts at once, no microphone
    user.pressAlertButton();
    activate();

    ASSERT_EQ(user.shown().size(), 1u);
    EXPECT_EQ(user.shown()[0].informativeText, "Couldn't start Audioengine!");
    EXPECT_TRUE(app->preferences().isVisible());
    // Opened with initialze: the instrument shows no audio input tab.
    EXPECT_EQ(user.tabLabels(app->preferences()._tabView),
              (std::vector<std::string>{"Audio Output", "MIDI Input", "MIDI Output"}));
}

TEST_F(AuxiliaryWindows, EachMenuItemOpensItsWindowAndClosesItTheSecondTime)
{
    launchAndActivate();
    Preferences& preferences = app->preferences();
    ASSERT_TRUE(user.chooseMenuItem(app->preferencesItem));
    EXPECT_TRUE(preferences.isVisible());
    EXPECT_EQ(preferences._audioOutDevice->titleOfSelectedItem().utf8(), "Studio Interface");
    ASSERT_TRUE(user.chooseMenuItem(app->preferencesItem));
    EXPECT_FALSE(preferences.isVisible());

    Tempo& tempo = app->tempo();
    const NSRect main = window().frame();
    const TempoWindowPlacement expected =
        tempoWindowPlacement(NSScreen::mainScreen() ? NSScreen::mainScreen()->frame().size.height : 0, main,
                             tempo.frame().size, NSApp->mainMenu()->menuBarHeight());
    ASSERT_TRUE(user.chooseMenuItem(app->tempoItem));
    EXPECT_TRUE(tempo.isVisible());
    if (expected.docked) {
        EXPECT_EQ(tempo.parentWindow(), &window());
        EXPECT_EQ(tempo.styleMask(), NSUInteger{NSWindowStyleMaskBorderless});
        EXPECT_EQ(tempo.frame().size.width, main.size.width);
        EXPECT_EQ(tempo.frame().origin.y, main.origin.y - tempo.frame().size.height);
    } else {
        EXPECT_EQ(tempo.parentWindow(), nullptr);
        EXPECT_EQ(tempo.level(), NSDockWindowLevel);
    }
    ASSERT_TRUE(user.chooseMenuItem(app->tempoItem));
    EXPECT_FALSE(tempo.isVisible());
    EXPECT_EQ(tempo.parentWindow(), nullptr);
    EXPECT_TRUE(window().childWindows().empty());
}
