// The uninstaller's application delegate: nothing to do at launch or at
// the end; restorable state is kept securely. Main thread only.
#pragma once

#include <AppKit/AppKit.h>

class AppDelegate : public NSObject, public NSApplicationDelegate {
public:
    void applicationDidFinishLaunching(NSNotification* notification) override;
    void applicationWillTerminate(NSNotification* notification) override;
    bool applicationSupportsSecureRestorableState(NSApplication* application) override;
};
