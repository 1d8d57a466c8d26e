#include "VTRemovalGuard.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// Any path longer than this may have been cut by a 256-byte buffer.
constexpr size_t kLongestPath = 254;

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The path with its links resolved where it exists; as written otherwise.
std::string resolvedIfPresent(const std::string& path)
{
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr)
        return resolved;
    return withoutTrailingSlashes(path);
}

std::string parentOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return "/";
    return path.substr(0, slash);
}

// True when `folder` is `path` or holds it at any depth.
bool isAtOrAbove(const std::string& folder, const std::string& path)
{
    if (folder == "/" || folder == path)
        return true;
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

VTRemovalRefusal checkComponents(std::string_view path)
{
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        std::string_view component = path.substr(start, end - start);
        if (component.empty())
            return VTRemovalRefusal::emptyComponent;
        if (component == "." || component == "..")
            return VTRemovalRefusal::dotComponent;
        start = end + 1;
    }
    return VTRemovalRefusal::none;
}

} // namespace

const char* refusalName(VTRemovalRefusal refusal)
{
    switch (refusal) {
    case VTRemovalRefusal::none:
        return "none";
    case VTRemovalRefusal::empty:
        return "empty";
    case VTRemovalRefusal::tooLong:
        return "too-long";
    case VTRemovalRefusal::relative:
        return "relative";
    case VTRemovalRefusal::emptyComponent:
        return "empty-component";
    case VTRemovalRefusal::dotComponent:
        return "dot-component";
    case VTRemovalRefusal::unresolvable:
        return "unresolvable";
    case VTRemovalRefusal::outsideRoot:
        return "outside-root";
    case VTRemovalRefusal::fileSystemRoot:
        return "file-system-root";
    case VTRemovalRefusal::topLevelFolder:
        return "top-level-folder";
    case VTRemovalRefusal::installRoot:
        return "install-root";
    case VTRemovalRefusal::homeFolder:
        return "home-folder";
    case VTRemovalRefusal::inHomeFolder:
        return "in-home-folder";
    }
    return "unknown";
}

std::string installRootUnder(const std::string& root)
{
    std::string installRoot = KINDRA_INSTALL_ROOT;
    if (installRoot == "/")
        installRoot.clear();
    return withoutTrailingSlashes(root == "/" ? std::string() : root) + installRoot;
}

VTRemovalGuard::VTRemovalGuard(const std::string& root, const std::vector<std::string>& homes)
{
    m_root = resolvedIfPresent(root.empty() ? "/" : root);
    std::string installRoot = installRootUnder(root);
    m_installRoot = resolvedIfPresent(installRoot.empty() ? "/" : installRoot);
    for (const std::string& home : homes) {
        if (!home.empty() && home.front() == '/')
            m_homes.push_back(resolvedIfPresent(home));
    }
}

VTRemovalRefusal VTRemovalGuard::checkWritten(const char* path)
{
    if (path == nullptr || path[0] == '\0')
        return VTRemovalRefusal::empty;
    if (std::strlen(path) > kLongestPath)
        return VTRemovalRefusal::tooLong;
    if (path[0] != '/')
        return VTRemovalRefusal::relative;
    return std::strcmp(path, "/") == 0 ? VTRemovalRefusal::none : checkComponents(path);
}

VTRemovalRefusal VTRemovalGuard::check(const char* path, std::string& resolved) const
{
    resolved.clear();
    if (VTRemovalRefusal refusal = checkWritten(path); refusal != VTRemovalRefusal::none)
        return refusal;

    std::string candidate = "/";
    if (std::strcmp(path, "/") != 0) {
        // Resolve the folders above the path, not the path itself: rm removes
        // a link, never what it points to.
        std::string written = path;
        size_t slash = written.rfind('/');
        char folder[PATH_MAX];
        if (realpath(parentOf(written).c_str(), folder) == nullptr)
            return VTRemovalRefusal::unresolvable;
        candidate = (std::strcmp(folder, "/") == 0 ? std::string() : std::string(folder)) + written.substr(slash);
    }

    if (isAtOrAbove(candidate, m_root))
        return VTRemovalRefusal::fileSystemRoot;
    if (!isAtOrAbove(m_root, candidate))
        return VTRemovalRefusal::outsideRoot;
    if (parentOf(candidate) == m_root)
        return VTRemovalRefusal::topLevelFolder;
    if (isAtOrAbove(candidate, m_installRoot))
        return VTRemovalRefusal::installRoot;
    if (parentOf(candidate) == m_installRoot)
        return VTRemovalRefusal::topLevelFolder;
    for (const std::string& home : m_homes) {
        if (isAtOrAbove(candidate, home))
            return VTRemovalRefusal::homeFolder;
        if (parentOf(candidate) == home)
            return VTRemovalRefusal::inHomeFolder;
    }
    resolved = candidate;
    return VTRemovalRefusal::none;
}
