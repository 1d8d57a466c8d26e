// Linux-only: the folder that stands for "/" when the system formats the
// paths of its installed files. Empty in every shipped program; tests point
// it at a scratch folder through Platform/testing, so no algorithm ever
// reaches the real system folders.
#pragma once

#include <string>

namespace vt::platform {

// Any thread: the root as an absolute path without a trailing slash, or ""
// for the real "/".
std::string fileSystemRoot();

} // namespace vt::platform
