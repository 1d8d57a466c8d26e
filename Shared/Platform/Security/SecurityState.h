// Security stand-in internals that the test-only library steers.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vt::platform::detail {

// A helper that tests start in place of the bundle's, through `elevator`
// (a command standing in for pkexec; empty: none), honoured only while a
// file-system root is set.
struct HelperStandIn {
    bool active = false;
    std::string helper;
    std::vector<std::string> elevator;
};

// Any thread.
void setHelperStandIn(const HelperStandIn& standIn);
HelperStandIn helperStandIn();

// Any thread: the process ids of the tools the helpers reported started,
// since the last take.
void recordStartedTool(pid_t pid);
std::vector<pid_t> takeStartedTools();

} // namespace vt::platform::detail
