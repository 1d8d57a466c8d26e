// The application's loop, run-loop slices, windows and key events, on the
// offscreen platform.
#include <AppKit/AppKit.h>
#include <CoreFoundation/CoreFoundation.h>
#include <vtplatform/RunLoop.h>

#include "VTScriptedUser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Counter : NSObject {
    int count = 0;
    id lastSender = nullptr;
    void tick(NSTimer*) { ++count; }
    void action(id sender)
    {
        ++count;
        lastSender = sender;
    }
};

} // namespace

TEST(RunLoopSlice, FiresTimersButHoldsAClickUntilTheApplicationLoopRuns)
{
    vt::testing::ScriptedUser user;
    NSWindow window(NSMakeRect(0, 0, 200, 100));
    auto* button = new NSButton(NSMakeRect(10, 10, 80, 30), NSButtonTypeMomentaryPushIn);
    window.contentView()->addSubview(button);
    window.makeKeyAndOrderFront(nil);
    Counter clicks;
    button->setTarget(&clicks, &Counter::action);
    Counter ticks;
    auto timer = NSTimer::scheduledTimerWithTimeInterval(0.001, &ticks, &Counter::tick, true);

    // The 1 ms timer is due before the 5 ms slice ends, so it fires in it;
    // the click waits, as on macOS while the engine waits for the audio
    // thread.
    user.postClick(button);
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.005, false);
    EXPECT_GE(ticks.count, 1);
    EXPECT_EQ(clicks.count, 0);

    EXPECT_TRUE(user.runUntil([&] { return clicks.count == 1; }));
    EXPECT_EQ(clicks.lastSender, button);
    timer->invalidate();
    int ticksAtInvalidate = ticks.count;
    user.runFor(0.01);
    EXPECT_EQ(ticks.count, ticksAtInvalidate);
    EXPECT_FALSE(timer->isValid());
}

TEST(RunLoopSlice, CoreFoundationTimersAndWorkFromOtherThreadsRunInsideTheApplicationLoop)
{
    vt::testing::ScriptedUser user;
    static int cfFired = 0;
    cfFired = 0;
    CFRunLoopTimerRef timer = CFRunLoopTimerCreate(
        nullptr, CFAbsoluteTimeGetCurrent() + 0.002, 0, 0, 0, [](CFRunLoopTimerRef, void*) { ++cfFired; }, nullptr);
    CFRunLoopAddTimer(CFRunLoopGetMain(), timer, kCFRunLoopDefaultMode);
    std::atomic<bool> ranOnMain{false};
    std::thread poster(
        [&] { dispatch_async(dispatch_get_main_queue(), [&] { ranOnMain = vt::platform::isMainThread(); }); });
    poster.join();

    EXPECT_TRUE(user.runUntil([&] { return cfFired == 1 && ranOnMain; }));
    // A slice asked to return after the first source returns when one ran.
    Counter later;
    later.performSelector(&Counter::action, nil, 0.0);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 10.0, true), kCFRunLoopRunHandledSource);
    EXPECT_EQ(later.count, 1);
    CFRelease(timer);
}

namespace {

// Records the application's life as the window classes see it.
struct LifeRecorder : NSObject, NSApplicationDelegate {
    std::vector<std::string> events;
    void willBecomeActive(NSNotification*)
    {
        events.push_back("will become active");
        NSApp->performSelector(&NSApplication::terminate, nil, 0.0);
    }
    void willTerminate(NSNotification* n)
    {
        events.push_back(std::string("will terminate while running: ") + (NSApp->isRunning() ? "yes" : "no"));
        EXPECT_EQ(n->object(), NSApp);
    }
    void applicationDidBecomeActive(NSNotification*) override { events.push_back("delegate: did become active"); }
    void applicationWillTerminate(NSNotification*) override { events.push_back("delegate: will terminate"); }
};

} // namespace

TEST(Application, RunActivatesOnceThenTerminatePostsWillTerminateBeforeTheLoopEnds)
{
    vt::testing::ScriptedUser user;
    LifeRecorder recorder;
    NSApp->setDelegate(&recorder);
    auto* center = NSNotificationCenter::defaultCenter();
    center->addObserver(&recorder, &LifeRecorder::willBecomeActive, NSApplicationWillBecomeActiveNotification, nil);
    center->addObserver(&recorder, &LifeRecorder::willTerminate, NSApplicationWillTerminateNotification, nil);

    // Run as its own program the application is not active yet; after
    // other tests in the same process it already is, and only terminates.
    bool firstActivation = !NSApp->isActive();
    if (!firstActivation)
        NSApp->performSelector(&NSApplication::terminate, nil, 0.0);
    NSApp->run();

    EXPECT_FALSE(NSApp->isRunning());
    std::vector<std::string> expected = {"will become active", "delegate: did become active",
                                         "delegate: will terminate", "will terminate while running: yes"};
    if (!firstActivation)
        expected.erase(expected.begin(), expected.begin() + 2);
    EXPECT_EQ(recorder.events, expected);
    NSApp->setDelegate(nullptr);
}

TEST(Window, AChildWindowMovesWithItsParentUntilRemoved)
{
    vt::testing::ScriptedUser user;
    NSWindow parent(NSMakeRect(100, 300, 400, 200));
    NSWindow child(NSMakeRect(100, 250, 400, 50), NSWindowStyleMaskBorderless);
    parent.makeKeyAndOrderFront(nil);
    parent.addChildWindow(&child, NSWindowAbove);
    EXPECT_TRUE(child.isVisible()); // ordered in with its visible parent
    EXPECT_EQ(child.parentWindow(), &parent);

    // Moving the parent by (+50, +20) moves the child by the same amount.
    parent.setFrame(NSMakeRect(150, 320, 400, 200), true);
    EXPECT_EQ(child.frame().origin.x, 150);
    EXPECT_EQ(child.frame().origin.y, 270);

    parent.removeChildWindow(&child);
    parent.setFrame(NSMakeRect(0, 320, 400, 200), true);
    EXPECT_EQ(child.frame().origin.x, 150);
    EXPECT_TRUE(parent.childWindows().empty());
}

namespace {

struct AlwaysKey : NSWindow {
    using NSWindow::NSWindow;
    bool canBecomeKeyWindow() const override { return true; }
};

} // namespace

TEST(Window, StyleLevelAndFrameFollowTheAppKitConventions)
{
    vt::testing::ScriptedUser user;
    NSWindow plain(NSMakeRect(0, 0, 300, 200));
    EXPECT_TRUE(plain.canBecomeKeyWindow());
    plain.setStyleMask(NSWindowStyleMaskBorderless);
    EXPECT_EQ(plain.styleMask(), 0u);
    EXPECT_FALSE(plain.canBecomeKeyWindow()); // borderless windows take no keys
    AlwaysKey tempo(NSMakeRect(0, 0, 300, 60), NSWindowStyleMaskBorderless);
    EXPECT_TRUE(tempo.canBecomeKeyWindow());

    plain.makeKeyAndOrderFront(nil);
    plain.setLevel(NSFloatingWindowLevel);
    EXPECT_TRUE(plain.isVisible()); // a level change keeps the window on screen
    EXPECT_EQ(plain.level(), 3);
    plain.setLevel(20);
    EXPECT_EQ(plain.level(), 20);

    // Origin (0, 0) is the main screen's bottom left; the frame keeps its
    // size through the round trip.
    ASSERT_NE(plain.screen(), nullptr);
    plain.setFrame(NSMakeRect(0, 0, 600, 428), true);
    NSRect frame = plain.frame();
    EXPECT_EQ(frame.origin.y, 0);
    EXPECT_EQ(frame.size.width, 600);
    EXPECT_EQ(frame.size.height, 428);
    EXPECT_GT(NSScreen::mainScreen()->frame().size.height, 0);
    plain.orderOut(nil);
    EXPECT_FALSE(plain.isVisible());
    EXPECT_EQ(plain.contentView()->x11WindowID(), 0u); // no X11 offscreen
}

namespace {

struct KeyRecorder : NSWindow {
    using NSWindow::NSWindow;
    std::vector<NSEvent> events;
    void keyDown(NSEvent* event) override
    {
        events.push_back(*event);
        // Like the main window: letters typed with Shift go to the
        // inherited handling.
        if ((event->modifierFlags() & NSEventModifierFlagShift) != 0)
            NSWindow::keyDown(event);
    }
    void keyUp(NSEvent* event) override { keyDown(event); }
};

struct KeyCase {
    const char* key;
    unichar character;
    unsigned short keyCode;
    NSUInteger modifiers;
};

// The characters, key codes and modifiers a window reads for Linux keys.
const KeyCase kKeyCases[] = {
    {"A", 'a', 0, 0},
    {"Shift+A", 'A', 0, NSEventModifierFlagShift},
    {"Ctrl+A", 'a', 0, NSEventModifierFlagCommand}, // Ctrl is Command
    {"Alt+A", 'a', 0, NSEventModifierFlagOption},
    {"Meta+A", 'a', 0, NSEventModifierFlagControl}, // Super is Control
    {"Space", ' ', 49, 0},
    {"Return", NSCarriageReturnCharacter, 36, 0},
    {"Enter", NSEnterCharacter, 76, 0},
    {"Esc", 27, 53, 0},
    {"Backspace", NSBackspaceCharacter, 51, 0},
    {"Tab", NSTabCharacter, 48, 0},
    {"Up", NSUpArrowFunctionKey, 126, 0},
    {"Left", NSLeftArrowFunctionKey, 123, 0},
    {"F1", NSF1FunctionKey, 122, 0},
    {"F12", NSF12FunctionKey, 111, 0},
    {"PgUp", NSPageUpFunctionKey, 116, 0},
    {"Del", NSDeleteFunctionKey, 117, 0},
    {"Home", NSHomeFunctionKey, 115, 0},
    {"Pause", NSPauseFunctionKey, 113, 0},
};

} // namespace

TEST(KeyEvents, ArriveWithTheCharactersKeyCodesAndModifiersOfMacOS)
{
    vt::testing::ScriptedUser user;
    KeyRecorder window(NSMakeRect(0, 0, 300, 200));
    window.makeKeyAndOrderFront(nil);
    for (const KeyCase& c : kKeyCases) {
        SCOPED_TRACE(c.key);
        window.events.clear();
        bool handled = user.keyDown(&window, c.key);
        user.keyUp(&window, c.key);
        ASSERT_EQ(window.events.size(), 2u);
        const NSEvent& down = window.events[0];
        EXPECT_EQ(down.type(), NSEventTypeKeyDown);
        EXPECT_EQ(window.events[1].type(), NSEventTypeKeyUp);
        EXPECT_EQ(down.characters().length(), 1u);
        EXPECT_EQ(down.characters().characterAtIndex(0), c.character);
        EXPECT_EQ(down.keyCode(), c.keyCode);
        EXPECT_EQ(down.modifierFlags(), c.modifiers);
        EXPECT_EQ(handled, (c.modifiers & NSEventModifierFlagShift) == 0);
    }
}

TEST(KeyEvents, ACommandKeyEquivalentReachesTheMenuAndNotTheWindow)
{
    vt::testing::ScriptedUser user;
    KeyRecorder window(NSMakeRect(0, 0, 300, 200));
    NSMenu mainMenu("Main");
    auto* appItem = new NSMenuItem("Kindra", "");
    auto* appMenu = new NSMenu("Kindra");
    Counter tempo;
    NSMenuItem* tempoItem = appMenu->addItemWithTitle("Tempo", &tempo, &Counter::action, "t");
    appItem->setSubmenu(appMenu);
    mainMenu.addItem(appItem);
    NSApp->setMainMenu(&mainMenu);
    EXPECT_EQ(mainMenu.menuBarHeight(), 0); // no main window shows the bar yet
    window.makeMainWindow();
    window.makeKeyAndOrderFront(nil);
    EXPECT_EQ(NSApp->mainWindow(), &window);
    EXPECT_GT(mainMenu.menuBarHeight(), 0);

    EXPECT_TRUE(user.keyDown(&window, "Ctrl+T"));
    EXPECT_EQ(tempo.count, 1);
    EXPECT_EQ(tempo.lastSender, tempoItem);
    EXPECT_TRUE(window.events.empty());
    // Without a key equivalent, Ctrl+letter reaches the window as Command.
    user.keyDown(&window, "Ctrl+B");
    ASSERT_EQ(window.events.size(), 1u);
    EXPECT_EQ(window.events[0].modifierFlags(), NSEventModifierFlagCommand);
    NSApp->setMainMenu(nullptr);
}
