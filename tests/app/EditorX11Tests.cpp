// The plug-in's editor in the main window under a real X server (Xvfb,
// started by the test run), around the probe plug-in of the "Pyrole"
// bundle.
#include "AppTestSupport.h"
#include "ProbeState.h"

#include <cstdlib>

using namespace apptest;

namespace {

// The window system this program needs, chosen before Qt starts.
const bool kOnX11 = [] {
    if (std::getenv("DISPLAY") == nullptr)
        return false;
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    return true;
}();

class EditorOnX11 : public KindraApp {
protected:
    void SetUp() override
    {
        if (!kOnX11) {
            if (std::getenv("CI") != nullptr)
                FAIL() << "CI must run this test under Xvfb (./dev test starts it)";
            GTEST_SKIP() << "no X display";
        }
        KindraApp::SetUp();
    }
    probe::ProbeState& probe() { return *probe::stateOf(effect()); }
    std::vector<Request> editorRequests(std::vector<Request> requests)
    {
        std::erase_if(requests, [](const Request& r) {
            return r.opcode != effEditGetRect && r.opcode != effEditOpen && r.opcode != effEditClose &&
                   r.opcode != effClose && !(r.opcode == effCanDo && r.text == "forceCocoaMode");
        });
        return requests;
    }
};

TEST_F(EditorOnX11, OpensIntoThePluginViewSizesTheWindowFromItsRectangleAndClosesFirstAtShutDown)
{
    launch();
    ASSERT_NE(effect(), nullptr);
    ASSERT_TRUE(window().editorOpen());
    // The editor's parent is the plug-in view's own X11 window.
    const unsigned long parent = window()._pluginView->x11WindowID();
    ASSERT_NE(parent, 0u);
    void* openedInto = nullptr;
    std::vector<Request> startUp;
    for (int i = 0; i < probe().dispatches.size(); ++i) {
        const probe::DispatchCall& call = probe().dispatches.items[i];
        startUp.push_back({call.opcode, call.index, call.value, call.opt, call.opcode == effCanDo ? call.text : ""});
        if (call.opcode == effEditOpen)
            openedInto = call.ptr;
    }
    EXPECT_EQ(openedInto, reinterpret_cast<void*>(parent));
    const std::vector<Request> expectedStartUp = {
        {effEditGetRect, 0, 0, 0.0f, ""}, {effCanDo, 0, 0, 0.0f, "forceCocoaMode"}, {effEditOpen, 0, 0, 0.0f, ""}};
    EXPECT_EQ(editorRequests(startUp), expectedStartUp);

    // The probe's rectangle: bottom 300, right 400; 28 more for the window,
    // centred on the 1280 x 800 screen.
    EXPECT_EQ(window().frame().size.width, 400);
    EXPECT_EQ(window().frame().size.height, 328);

    // The editor asks for 600 x 400: the window follows the rectangle the
    // plug-in answers then, whatever size the request named.
    probe().editorRect = ERect{0, 0, 400, 600};
    probe().host(effect(), audioMasterSizeWindow, 10, 10, nullptr, 0.0f);
    EXPECT_EQ(window().frame().size.width, 600);
    EXPECT_EQ(window().frame().size.height, 428);
    NSScreen* screen = window().screen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(window().frame().origin.x, (screen->frame().size.width - 600) * 0.5);
    EXPECT_EQ(window().frame().origin.y, (screen->frame().size.height - 428) * 0.5);

    // The idle tick reaches the editor.
    EXPECT_TRUE(user.runUntil([&] {
        for (int i = 0; i < probe().dispatches.size(); ++i)
            if (probe().dispatches.items[i].opcode == effEditIdle)
                return true;
        return false;
    }));

    RequestSpy spy(effect());
    quit();
    const std::vector<Request> expectedShutDown = {{effEditClose, 0, 0, 0.0f, ""}, {effClose, 0, 0, 0.0f, ""}};
    EXPECT_EQ(editorRequests(spy.requests), expectedShutDown);
    EXPECT_FALSE(window().editorOpen());
}

} // namespace
