// The folders the system's paths start from; the root is set only by tests.
#include "FileSystemRootState.h"

#include <vtplatform/FileSystemRoot.h>

#include <cstdlib>
#include <mutex>
#include <pwd.h>
#include <unistd.h>

namespace {

struct RootState {
    std::mutex mutex;
    std::string root;
};

RootState& state()
{
    static RootState instance;
    return instance;
}

} // namespace

namespace vt::platform {

std::string fileSystemRoot()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().root;
}

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return {};
}

} // namespace vt::platform

namespace vt::platform::detail {

void setFileSystemRoot(const std::string& root)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().root = root;
}

} // namespace vt::platform::detail
