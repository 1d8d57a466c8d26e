#include "UninstallFolders.h"

#include <vtplatform/FileSystemRoot.h>

VTUninstallFolders uninstallFolders()
{
    return {installRootUnder(vt::platform::fileSystemRoot()), vt::platform::homeFolder()};
}

VTRemovalGuard applicationRemovalGuard()
{
    return VTRemovalGuard(vt::platform::fileSystemRoot(), {vt::platform::homeFolder()});
}
