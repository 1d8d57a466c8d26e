#include "Uninstaller.h"

#include "UninstallFolders.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace {

// Interaction allowed, extend rights, pre-authorize.
constexpr AuthorizationFlags kRightsFlags =
    kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights | kAuthorizationFlagPreAuthorize;
static_assert(kRightsFlags == 19);

bool nothingAt(const char* path)
{
    struct stat info;
    return lstat(path, &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

bool conditionHolds(VTUninstallCondition condition, const VTUninstallChoice& choice)
{
    switch (condition) {
    case VTUninstallCondition::pluginAU:
        return choice.pluginAU;
    case VTUninstallCondition::pluginVST:
        return choice.pluginVST;
    case VTUninstallCondition::pluginVST3:
        return choice.pluginVST3;
    case VTUninstallCondition::pluginAAX:
        return choice.pluginAAX;
    case VTUninstallCondition::standalone:
        return choice.standalone;
    case VTUninstallCondition::allFive:
        return choice.pluginAU && choice.pluginVST && choice.pluginVST3 && choice.pluginAAX && choice.standalone;
    case VTUninstallCondition::presets:
        return choice.presets;
    case VTUninstallCondition::always:
        return true;
    }
    return false;
}

// Formats an item's path into the zero-filled buffer. A path cut to 255
// bytes is left as it is, and without a home folder a per-user path stays
// empty: deleteFiles refuses both.
void formatItemPath(const VTUninstallItem& item, const VTUninstallFolders& folders, char (&path)[kPathBufferSize])
{
    const std::string& base = item.base == VTPathBase::home ? folders.home : folders.installRoot;
    if (item.base == VTPathBase::home && base.empty())
        return;
    std::snprintf(path, sizeof path, item.pathFormat, base.c_str(), kProductName);
}

// The path without its last component, as the user-defaults path methods
// give it: "/a/b/" and "/a/b" give "/a", "/a" gives "/", "a" gives "".
std::string withoutLastComponent(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

void removeInstrumentsFolder(AuthorizationRef authorization)
{
    std::optional<std::string> stored = storedInstrumentsPath();
    // A stored path that is gone vouches for nothing: the folder that held
    // it may since be someone else's.
    if (!stored || stored->empty() || nothingAt(stored->c_str()))
        return;
    char folder[kPathBufferSize] = {};
    std::snprintf(folder, sizeof folder, "%s", withoutLastComponent(*stored).c_str());
    deleteFiles(authorization, folder);
}

} // namespace

void VTUninstallMarks::show(VTUninstallMark mark)
{
    switch (mark) {
    case VTUninstallMark::none:
        break;
    case VTUninstallMark::pluginAUIcon:
        pluginAUIcon = true;
        break;
    case VTUninstallMark::pluginVSTIcon:
        pluginVSTIcon = true;
        break;
    case VTUninstallMark::pluginVST3Icon:
        pluginVST3Icon = true;
        break;
    case VTUninstallMark::pluginAAXIcon:
        pluginAAXIcon = true;
        break;
    case VTUninstallMark::standaloneIcon:
        standaloneIcon = true;
        break;
    case VTUninstallMark::presetsIcon:
        presetsIcon = true;
        break;
    }
}

bool GetPrevilegeRights(AuthorizationRef& authorization)
{
    if (AuthorizationCreate(nullptr, kAuthorizationEmptyEnvironment, kAuthorizationFlagDefaults, &authorization) !=
        errAuthorizationSuccess)
        return false;
    AuthorizationItem right = {kAuthorizationRightExecute, 0, nullptr, 0};
    AuthorizationRights rights = {1, &right};
    return AuthorizationCopyRights(authorization, &rights, kAuthorizationEmptyEnvironment, kRightsFlags, nullptr) ==
           errAuthorizationSuccess;
}

bool deleteFiles(AuthorizationRef authorization, const char* path)
{
    // A path that is malformed or was cut by its buffer is never used, not
    // even to look whether something is there.
    if (VTRemovalGuard::checkWritten(path) != VTRemovalRefusal::none)
        return false;
    if (nothingAt(path))
        return true;
    std::string resolved;
    if (applicationRemovalGuard().check(path, resolved) != VTRemovalRefusal::none)
        return false;
    // The helper resolves and checks the path again itself.
    std::string options = "-rf", target = path;
    char* arguments[] = {options.data(), target.data(), nullptr};
    return AuthorizationExecuteWithPrivileges(authorization, "/bin/rm", kAuthorizationFlagDefaults, arguments,
                                              nullptr) == errAuthorizationSuccess;
}

void deleteDirectoryIfEmpty(AuthorizationRef authorization, const char* path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (path == nullptr || !fs::is_directory(fs::symlink_status(path, error)) || error)
        return;
    fs::directory_iterator entry(path, error);
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        if (entry->path().filename().string().front() != '.')
            return;
    }
    // A folder that cannot be listed is not known to be empty.
    if (error)
        return;
    deleteFiles(authorization, path);
}

void reloadPreferences(AuthorizationRef)
{
    int ignored = std::system("killall -9 cfprefsd");
    (void)ignored;
}

void waitOneSecond(void*)
{
    std::this_thread::sleep_for(std::chrono::seconds(1));
}

VTUninstallMarks uninstallChosenItems(const VTUninstallChoice& choice, VTSettleFunction settle, void* settleData)
{
    VTUninstallMarks marks;
    AuthorizationRef authorization = nullptr;
    if (!GetPrevilegeRights(authorization)) {
        if (authorization != nullptr)
            AuthorizationFree(authorization, kAuthorizationFlagDefaults);
        return marks;
    }
    const VTUninstallFolders folders = uninstallFolders();
    for (const VTUninstallItem& item : uninstallItems()) {
        if (!conditionHolds(item.condition, choice))
            continue;
        char path[kPathBufferSize] = {};
        switch (item.action) {
        case VTUninstallAction::remove:
            formatItemPath(item, folders, path);
            // Items that share a mark show it when any of them is gone.
            if (deleteFiles(authorization, path))
                marks.show(item.mark);
            break;
        case VTUninstallAction::removeInstrumentsFolder:
            removeInstrumentsFolder(authorization);
            break;
        case VTUninstallAction::reloadPreferences:
            reloadPreferences(authorization);
            break;
        case VTUninstallAction::wait:
            if (settle != nullptr)
                settle(settleData);
            break;
        case VTUninstallAction::removeIfEmpty:
            formatItemPath(item, folders, path);
            deleteDirectoryIfEmpty(authorization, path);
            break;
        }
    }
    AuthorizationFree(authorization, kAuthorizationFlagDefaults);
    return marks;
}
