#include "AppDelegate.h"

void AppDelegate::applicationDidFinishLaunching(NSNotification*)
{
    // The main window starts everything itself, from awakeFromNib on.
}

void AppDelegate::applicationDidBecomeActive(NSNotification*)
{
    if (window != nullptr)
        window->makeKeyWindow();
}
