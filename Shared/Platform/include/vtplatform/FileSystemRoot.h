// Linux-only: the folders the system's paths start from. The file-system
// root stands for "/" when the system formats the paths of its installed
// files: empty in every shipped program, a scratch folder that tests set
// through Platform/testing, so no algorithm ever reaches the real system
// folders. The home folder follows HOME, which tests point at scratch
// folders too.
#pragma once

#include <string>

namespace vt::platform {

// Any thread: the root as an absolute path without a trailing slash, or ""
// for the real "/".
std::string fileSystemRoot();

// Any thread: HOME, or the account's home folder when HOME is unset or
// empty; "" when neither is known.
std::string homeFolder();

} // namespace vt::platform
