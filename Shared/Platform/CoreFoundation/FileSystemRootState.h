// The file-system root that the test-only library sets.
#pragma once

#include <string>

namespace vt::platform::detail {

// Any thread: replaces the root ("" for the real "/").
void setFileSystemRoot(const std::string& root);

} // namespace vt::platform::detail
