// Test-only control of the Security stand-in. System code never includes
// this header.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace vt::testing {

// While one exists, authorizations start `helper` with the current user's
// rights instead of the bundle's helper through pkexec, also when the
// process runs as root. `elevator` stands in for pkexec: the command the
// helper's command line is appended to. Empty, the helper starts directly,
// as after a granted prompt; {"/bin/sh", "-c", "exit 126"} answers as a
// dismissed prompt, "exit 127" as a refused one. Honoured only while a
// FileSystemRoot exists, whose folder the helper is then confined to.
class PrivilegedHelperStandIn {
public:
    explicit PrivilegedHelperStandIn(std::string helper, std::vector<std::string> elevator = {});
    ~PrivilegedHelperStandIn();
    PrivilegedHelperStandIn(const PrivilegedHelperStandIn&) = delete;
    PrivilegedHelperStandIn& operator=(const PrivilegedHelperStandIn&) = delete;
};

// Waits until every tool the helpers started since the last call has ended;
// false when one still runs after the timeout.
bool waitForPrivilegedTools(std::chrono::milliseconds timeout = std::chrono::seconds(60));

} // namespace vt::testing
