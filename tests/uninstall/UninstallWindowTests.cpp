// The uninstaller's window as a person uses it: tick boxes, press a button,
// read the marks; every removal lands on a scratch computer.
#include "InstalledProduct.h"
#include "UninstallInterface.h"
#include "VTScriptedUser.h"

#include <memory>
#include <set>

using namespace uninstalltest;

namespace {

// The check boxes in the window's order.
enum Box { au, vst, vst3, aax, app, presets };
const std::set<Box> kAllBoxes = {au, vst, vst3, aax, app, presets};

class UninstallWindow : public InstalledProduct {
protected:
    void SetUp() override
    {
        InstalledProduct::SetUp();
        m_interface = std::make_unique<UninstallInterface>();
        // The one-second wait, made certain: every removal started so far ends.
        vc().setSettleFunction(waitForRemovals, nullptr);
    }
    void TearDown() override
    {
        m_interface.reset();
        InstalledProduct::TearDown();
    }

    ViewController& vc() { return m_interface->viewController(); }

    // Clicks the boxes whose state differs from the wanted one, then
    // Uninstall, and waits until the removals it started have ended.
    void pressUninstallWith(const std::set<Box>& ticked)
    {
        NSButton* boxes[] = {vc().pluginAU,  vc().pluginVST,  vc().pluginVST3,
                             vc().pluginAAX, vc().standalone, vc().presets};
        for (Box box : kAllBoxes) {
            if ((boxes[box]->state() == NSControlStateValueOn) != ticked.contains(box)) {
                EXPECT_TRUE(user.click(boxes[box]));
            }
        }
        EXPECT_TRUE(user.click(m_interface->uninstallButton));
        EXPECT_TRUE(vt::testing::waitForPrivilegedTools());
    }

    std::string shownMarks()
    {
        auto shown = [](NSView* mark) { return !mark->isHidden(); };
        return describe({shown(vc().pluginAUIcon), shown(vc().pluginVSTIcon), shown(vc().pluginVST3Icon),
                         shown(vc().pluginAAXIcon), shown(vc().standaloneIcon), shown(vc().presetsIcon)});
    }

    vt::testing::ScriptedUser user;
    std::unique_ptr<UninstallInterface> m_interface;
};

TEST_F(UninstallWindow, OpensWithTheProductTitleAndImageTheProductsPartsTickedAndNoMark)
{
    EXPECT_EQ(vc().uninstallTitle->stringValue().utf8(), "Uninstall Kindra");
    ASSERT_NE(vc().uninstallImage->image(), nullptr);
    EXPECT_EQ(vc().uninstallImage->image()->name().utf8(), "Kindra");
    EXPECT_NE(vc().uninstallTitleBG->layer(), nullptr);
    // The user's own presets stay unless asked for.
    EXPECT_EQ(vc().standalone->state(), NSControlStateValueOn);
    EXPECT_EQ(vc().presets->state(), NSControlStateValueOff);
    EXPECT_EQ(shownMarks(), "none");
}

struct PressCase {
    const char* label;
    std::set<Box> ticked;
    std::vector<Item> installed;
    std::vector<Item> removed;
    const char* marks;
    bool homeCutsPresets = false; // the presets path does not fit its buffer
};

void PrintTo(const PressCase& value, std::ostream* out)
{
    *out << value.label;
}

class UninstallWindowPress : public UninstallWindow, public ::testing::WithParamInterface<PressCase> {};

TEST_P(UninstallWindowPress, ShowsExactlyTheMarksOfWhatWasRemoved)
{
    const PressCase& c = GetParam();
    if (c.homeCutsPresets) {
        // "<home>/Documents/Veltrane" is 255 bytes: the presets path is cut
        // to that folder and never used.
        std::string home = m_r + "/home/";
        useHome(home + std::string(255 - std::string("/Documents/Veltrane").size() - home.size(), 'h'));
    }
    install(c.installed, expand(kInstrumentsFile));
    const auto before = snapshot();

    pressUninstallWith(c.ticked);

    EXPECT_EQ(shownMarks(), c.marks);
    EXPECT_EQ(snapshot(), without(before, paths(c.removed)));
}

using I = Item;
INSTANTIATE_TEST_SUITE_P(
    Cases, UninstallWindowPress,
    ::testing::Values(
        // ~/Documents/Veltrane empties and goes; /Applications/Veltrane still
        // holds the application.
        PressCase{"only presets",
                  {presets},
                  kFullInstall,
                  {I::presets, I::serviceCenterFile, I::supportFolder, I::documentsMaker},
                  "presets "},
        PressCase{"all six", kAllBoxes, kFullInstall, plus(kAllSixRemove, I::instrumentsFolder),
                  "AU VST VST3 AAX standalone presets "},
        // Four of the five product parts: the preferences and the stored
        // path's folder stay.
        PressCase{"the plug-ins without the application",
                  {au, vst, vst3, aax},
                  kFullInstall,
                  {I::component, I::midiFXComponent, I::vst, I::vst3, I::aax, I::serviceCenterFile, I::supportFolder},
                  "AU VST VST3 AAX "},
        // The missing main component counts as removed.
        PressCase{"only the MIDI-effect component installed", {au}, {I::midiFXComponent}, {I::midiFXComponent}, "AU "},
        PressCase{"a presets path cut by its buffer", {vst, presets}, {I::vst, I::presets}, {I::vst}, "VST ", true}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(UninstallWindow, ARefusedPromptRemovesNothingAndKeepsTheMarksShownBefore)
{
    install(kFullInstall, expand(kInstrumentsFile));
    pressUninstallWith({vst});
    ASSERT_EQ(shownMarks(), "VST ");
    const auto before = snapshot();

    // pkexec's exit codes for a dismissed and a refused prompt.
    for (const char* exit : {"exit 126", "exit 127"}) {
        SCOPED_TRACE(exit);
        useHelper({"/bin/sh", "-c", exit});
        pressUninstallWith(kAllBoxes);
        EXPECT_EQ(shownMarks(), "VST ");
        EXPECT_EQ(snapshot(), before);
        EXPECT_TRUE(user.shown().empty()); // no message either
    }
}

TEST_F(UninstallWindow, EachPressReadsTheStoredInstrumentsPathAfresh)
{
    install(kFullInstall, expand(kInstrumentsFile));
    pressUninstallWith(kAllBoxes);
    ASSERT_FALSE(fs::exists(expand(kInstrumentsFile)));

    // The installer runs again and writes the preferences file itself.
    const std::string library = expand("{R}/srv/Second Library/Sounds");
    const std::string preferences = expand("{H}/Library/Preferences/com.veltrane.Kindra.plist");
    writeFile(library + "/Kindra.nki");
    writeFile(preferences, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                           "<key>InstrumentsPath</key><string>" +
                               library + "/Kindra.nki</string></dict></plist>\n");
    const auto before = snapshot();

    pressUninstallWith(kAllBoxes);

    EXPECT_EQ(snapshot(), without(before, {library, preferences}));
}

struct GiveUp : NSObject {
    bool fired = false;
    void fire(NSTimer*)
    {
        fired = true;
        NSApp->terminate(nil);
    }
};

TEST_F(UninstallWindow, QuitEndsTheApplication)
{
    // Ends a loop that Quit failed to end, so the test fails instead of hanging.
    GiveUp giveUp;
    auto timer = NSTimer::scheduledTimerWithTimeInterval(60.0, &giveUp, &GiveUp::fire, false);

    user.postClick(m_interface->quitButton);
    NSApp->run();

    EXPECT_FALSE(giveUp.fired);
    EXPECT_FALSE(NSApp->isRunning());
}

} // namespace
