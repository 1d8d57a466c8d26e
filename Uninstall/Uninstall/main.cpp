// The uninstaller's entry point: the application's main loop with the
// uninstaller's interface. Objects live in C++ scopes, so no autorelease
// pool is needed around the loop.
#include "UninstallInterface.h"

#include <AppKit/AppKit.h>

int main(int argc, char* argv[])
{
    const int result = NSApplicationMain(argc, argv, &loadUninstallInterface);
    unloadUninstallInterface();
    return result;
}
