#include "VTFileSystemTesting.h"

#include "../CoreFoundation/FileSystemRootState.h"

#include <climits>
#include <cstdlib>

namespace vt::testing {

FileSystemRoot::FileSystemRoot(const std::string& folder)
{
    char resolved[PATH_MAX];
    // A root that cannot be resolved is never "/": such a test must not run
    // against the real system, so it gets a root nothing lies under.
    if (realpath(folder.c_str(), resolved) != nullptr && std::string(resolved) != "/")
        m_path = resolved;
    vt::platform::detail::setFileSystemRoot(m_path.empty() ? "/nonexistent-kindra-test-root" : m_path);
}

FileSystemRoot::~FileSystemRoot()
{
    vt::platform::detail::setFileSystemRoot("");
}

} // namespace vt::testing
