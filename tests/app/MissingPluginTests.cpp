// An application bundle without its plug-in: this program's bundle is
// named "Kindra" and its built-in plug-ins folder holds nothing.
#include "AppTestSupport.h"

using namespace apptest;

namespace {

TEST_F(KindraApp, WithoutItsPluginTellsTheUserAndTerminates)
{
    user.pressAlertButton();
    launch();
    ASSERT_EQ(user.shown().size(), 1u);
    const vt::testing::ShownModal& shown = user.shown()[0];
    EXPECT_EQ(shown.kind, vt::testing::ShownModal::Kind::alert);
    EXPECT_EQ(shown.messageText, "Error");
    EXPECT_EQ(shown.informativeText, "Couldn't load Plug In!");
    EXPECT_EQ(shown.style, NSAlertStyleCritical);
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(window().registry(), nullptr);

    // The termination was asked for: the main loop ends on its first turn.
    GiveUp giveUp;
    auto limit = NSTimer::scheduledTimerWithTimeInterval(30.0, &giveUp, &GiveUp::fire, false);
    NSApp->run();
    EXPECT_FALSE(giveUp.fired);
    EXPECT_FALSE(NSApp->isRunning());
}

} // namespace
