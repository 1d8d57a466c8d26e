// The file-system root seam: one value, set only by tests.
#include "FileSystemRootState.h"

#include <vtplatform/FileSystemRoot.h>

#include <mutex>

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

} // namespace vt::platform

namespace vt::platform::detail {

void setFileSystemRoot(const std::string& root)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().root = root;
}

} // namespace vt::platform::detail
