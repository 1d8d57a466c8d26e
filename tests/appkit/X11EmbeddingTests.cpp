// The plug-in editor's parent under a real X server (Xvfb, started by the
// test run).
#include <AppKit/AppKit.h>

#include "VTScriptedUser.h"

#include <gtest/gtest.h>
// After GoogleTest: Xlib defines None and Bool as macros.
#include <X11/Xlib.h>

#include <cstdlib>

TEST(NativeView, AChildWindowCreatedOnItsIdByAnotherConnectionIsAmongItsChildren)
{
    if (std::getenv("DISPLAY") == nullptr) {
        if (std::getenv("CI") != nullptr)
            FAIL() << "CI must run this test under Xvfb (./dev test starts it)";
        GTEST_SKIP() << "no X display";
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    vt::testing::ScriptedUser user;
    NSWindow window(NSMakeRect(0, 0, 600, 428));
    auto* pluginView = new NSView(NSMakeRect(0, 0, 600, 400));
    window.setContentView(pluginView);
    window.makeKeyAndOrderFront(nil);
    unsigned long parent = pluginView->x11WindowID();
    ASSERT_NE(parent, 0u);

    // The plug-in's side: a connection of its own, as an editor opens one.
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    Window editor = XCreateSimpleWindow(display, parent, 0, 0, 600, 400, 0, 0, 0);
    XMapWindow(display, editor);
    XSync(display, False);

    Window root = 0;
    Window parentOfParent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    ASSERT_NE(XQueryTree(display, parent, &root, &parentOfParent, &children, &count), 0);
    bool listed = false;
    for (unsigned int i = 0; i < count; ++i)
        listed = listed || children[i] == editor;
    if (children != nullptr)
        XFree(children);
    EXPECT_TRUE(listed);
    XDestroyWindow(display, editor);
    XCloseDisplay(display);
}
