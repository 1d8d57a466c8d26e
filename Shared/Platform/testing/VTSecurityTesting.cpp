#include "VTSecurityTesting.h"

#include "../Security/SecurityState.h"

#include <fstream>
#include <string>
#include <thread>

namespace vt::testing {

namespace {

// A tool's process has ended when it is gone or only a zombie waiting for
// its parent.
bool hasEnded(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    size_t close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() || line[close + 2] == 'Z';
}

} // namespace

PrivilegedHelperStandIn::PrivilegedHelperStandIn(std::string helper, std::vector<std::string> elevator)
{
    vt::platform::detail::setHelperStandIn({true, std::move(helper), std::move(elevator)});
}

PrivilegedHelperStandIn::~PrivilegedHelperStandIn()
{
    vt::platform::detail::setHelperStandIn({});
}

bool waitForPrivilegedTools(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (pid_t pid : vt::platform::detail::takeStartedTools()) {
        while (!hasEnded(pid)) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return true;
}

} // namespace vt::testing
