// One running privileged helper: started through pkexec (or directly when
// the process is root), then asked to start tools over a socket.
#pragma once

#include <MacTypes.h>

#include <sys/types.h>

#include <string>
#include <vector>

namespace vt::platform::detail {

class PrivilegedHelper {
public:
    PrivilegedHelper() = default;
    ~PrivilegedHelper() { stop(); }
    PrivilegedHelper(const PrivilegedHelper&) = delete;
    PrivilegedHelper& operator=(const PrivilegedHelper&) = delete;

    // Any thread (one caller at a time for every call below).
    bool running() const { return m_socket >= 0; }

    // Starts the helper and waits, without a time limit, until it reports
    // that it runs with the rights: the user may take a while to answer the
    // prompt. An authorization status; a helper that stopped answering is
    // not started again, so the user is never asked twice.
    OSStatus start(bool interactionAllowed);

    // Asks the helper to start the tool (command[0]) with its arguments.
    OSStatus run(const std::vector<std::string>& command);

    // Ends the helper: it exits when its requests end.
    void stop();

private:
    bool readLine(std::string& line, int timeoutMilliseconds);
    int reapHelper();

    bool m_lost = false;
    pid_t m_pid = -1;
    int m_socket = -1;
    std::string m_received; // bytes read past the last complete line
};

} // namespace vt::platform::detail
