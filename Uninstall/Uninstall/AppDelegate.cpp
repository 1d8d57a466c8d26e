#include "AppDelegate.h"

void AppDelegate::applicationDidFinishLaunching(NSNotification*)
{
    // The window is shown by the interface that created it.
}

void AppDelegate::applicationWillTerminate(NSNotification*)
{
    // Removals already started finish on their own.
}

bool AppDelegate::applicationSupportsSecureRestorableState(NSApplication*)
{
    return true;
}
