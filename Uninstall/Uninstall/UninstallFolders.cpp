#include "UninstallFolders.h"

#include <vtplatform/FileSystemRoot.h>

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return {};
}

} // namespace

VTUninstallFolders uninstallFolders()
{
    return {installRootUnder(vt::platform::fileSystemRoot()), homeFolder()};
}

VTRemovalGuard applicationRemovalGuard()
{
    return VTRemovalGuard(vt::platform::fileSystemRoot(), {homeFolder()});
}
