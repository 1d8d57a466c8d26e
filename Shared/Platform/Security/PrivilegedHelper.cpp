#include "PrivilegedHelper.h"

#include "PrivilegedRequest.h"
#include "SecurityState.h"

#include <Security/Security.h>
#include <vtplatform/FileSystemRoot.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace vt::platform::detail {

namespace {

// pkexec's exit codes when the user dismisses the prompt or is refused.
constexpr int kPromptDismissed = 126;
constexpr int kNotAuthorized = 127;

// A helper that started answers at once; longer means it is stuck.
constexpr int kAnswerTimeoutMilliseconds = 30000;

struct StandInState {
    std::mutex mutex;
    HelperStandIn standIn;
    std::vector<pid_t> startedTools;
};

StandInState& standInState()
{
    static StandInState instance;
    return instance;
}

std::string resolvedPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// The helper inside the running bundle: Contents/MacOS/<program> sits next
// to Contents/Helpers/UninstallHelper.
std::string bundleHelperPath()
{
    std::string program = resolvedPath("/proc/self/exe");
    size_t slash = program.rfind('/');
    if (slash == std::string::npos)
        return {};
    return resolvedPath(program.substr(0, slash) + "/../Helpers/UninstallHelper");
}

std::string pkexecPath()
{
    for (const char* candidate : {"/usr/bin/pkexec", "/bin/pkexec"}) {
        if (access(candidate, X_OK) == 0)
            return candidate;
    }
    return {};
}

struct HelperCommand {
    std::vector<std::string> arguments;
    bool prompts = false;
};

// How the helper is started; empty arguments when it cannot be.
HelperCommand helperCommand()
{
    HelperCommand command;
    const std::string root = fileSystemRoot();
    const HelperStandIn standIn = helperStandIn();
    if (standIn.active) {
        // A helper of the tests' choosing only ever runs confined to a
        // scratch root, and never through pkexec.
        if (root.empty())
            return command;
        command.arguments = standIn.elevator;
        command.arguments.push_back(standIn.helper);
        command.prompts = !standIn.elevator.empty();
    } else {
        std::string helper = bundleHelperPath();
        if (helper.empty())
            return command;
        if (geteuid() != 0) {
            std::string pkexec = pkexecPath();
            if (pkexec.empty())
                return command;
            command.arguments.push_back(pkexec);
            command.prompts = true;
        }
        command.arguments.push_back(helper);
    }
    if (!root.empty()) {
        command.arguments.push_back("--root");
        command.arguments.push_back(root);
    }
    return command;
}

bool sendAll(int fd, const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

void setHelperStandIn(const HelperStandIn& standIn)
{
    std::lock_guard<std::mutex> lock(standInState().mutex);
    standInState().standIn = standIn;
}

HelperStandIn helperStandIn()
{
    std::lock_guard<std::mutex> lock(standInState().mutex);
    return standInState().standIn;
}

void recordStartedTool(pid_t pid)
{
    std::lock_guard<std::mutex> lock(standInState().mutex);
    standInState().startedTools.push_back(pid);
}

std::vector<pid_t> takeStartedTools()
{
    std::lock_guard<std::mutex> lock(standInState().mutex);
    return std::exchange(standInState().startedTools, {});
}

OSStatus PrivilegedHelper::start(bool interactionAllowed)
{
    if (running())
        return errAuthorizationSuccess;
    if (m_lost)
        return errAuthorizationDenied;
    HelperCommand command = helperCommand();
    if (command.arguments.empty())
        return errAuthorizationInternal;
    if (command.prompts && !interactionAllowed)
        return errAuthorizationInteractionNotAllowed;

    // One socket serves as the helper's standard input and output; it is
    // close-on-exec here, so no other child of this process inherits it.
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return errAuthorizationInternal;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (std::string& argument : command.arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    int spawned = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (spawned != 0) {
        ::close(ends[0]);
        m_pid = -1;
        return errAuthorizationInternal;
    }
    m_socket = ends[0];
    m_received.clear();

    // The first line comes once the user has answered the prompt and the
    // helper runs; a helper that ends first tells why by its exit code.
    std::string line;
    if (readLine(line, -1) && line == vt::privileged::kReadyAnswer)
        return errAuthorizationSuccess;
    ::close(m_socket);
    m_socket = -1;
    int status = reapHelper();
    if (WIFEXITED(status) && WEXITSTATUS(status) == kPromptDismissed)
        return errAuthorizationCanceled;
    if (WIFEXITED(status) && WEXITSTATUS(status) == kNotAuthorized)
        return errAuthorizationDenied;
    return errAuthorizationInternal;
}

OSStatus PrivilegedHelper::run(const std::vector<std::string>& command)
{
    if (!running())
        return errAuthorizationToolExecuteFailure;
    std::optional<std::string> request = vt::privileged::encodeRequest(command);
    if (!request)
        return errAuthorizationToolExecuteFailure;
    std::string answer;
    if (!sendAll(m_socket, *request) || !readLine(answer, kAnswerTimeoutMilliseconds)) {
        // A helper that no longer answers cannot be trusted with more.
        stop();
        m_lost = true;
        return errAuthorizationToolExecuteFailure;
    }
    const std::string started = std::string(vt::privileged::kStartedAnswer) + " ";
    if (answer.compare(0, started.size(), started) != 0)
        return errAuthorizationToolExecuteFailure;
    char* end = nullptr;
    long pid = std::strtol(answer.c_str() + started.size(), &end, 10);
    if (pid > 0 && end != nullptr && *end == '\0')
        recordStartedTool(static_cast<pid_t>(pid));
    return errAuthorizationSuccess;
}

void PrivilegedHelper::stop()
{
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
    if (m_pid > 0)
        reapHelper();
}

int PrivilegedHelper::reapHelper()
{
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    return status;
}

bool PrivilegedHelper::readLine(std::string& line, int timeoutMilliseconds)
{
    for (;;) {
        size_t newline = m_received.find('\n');
        if (newline != std::string::npos) {
            line = m_received.substr(0, newline);
            m_received.erase(0, newline + 1);
            return true;
        }
        if (m_received.size() > vt::privileged::kMaxRequestLine)
            return false;
        pollfd ready{m_socket, POLLIN, 0};
        int polled = ::poll(&ready, 1, timeoutMilliseconds);
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return false;
        char buffer[512];
        ssize_t n = ::read(m_socket, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        m_received.append(buffer, static_cast<size_t>(n));
    }
}

} // namespace vt::platform::detail
