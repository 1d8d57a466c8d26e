// The application's delegate: makes the main window key whenever the
// application becomes active. Main thread only.
#pragma once

#include <AppKit/AppKit.h>

class AppDelegate : public NSObject, public NSApplicationDelegate {
public:
    void applicationDidFinishLaunching(NSNotification* notification) override;
    void applicationDidBecomeActive(NSNotification* notification) override;

    // Outlet: the main window; not owned.
    NSWindow* window = nullptr;
};
