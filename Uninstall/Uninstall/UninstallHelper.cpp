// The uninstaller's privileged helper: started once per authorization
// (through pkexec, or directly by a root process), it reads one request per
// line from its standard input and answers each on its standard output. It
// starts exactly one program, "/bin/rm" with "-rf" and one path that the
// removal guard allows, and nothing else; it ends when its input ends,
// leaving the removals it started to finish on their own.
//
//   UninstallHelper [--root <folder>]
//
// --root confines every removal to a folder that stands for "/" (the tests'
// scratch root); it can only narrow what is removed.
#include "PrivilegedRequest.h"
#include "VTRemovalGuard.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kRemoveTool = "/bin/rm";
const char* const kRemoveOptions = "-rf";

// Every home folder must survive: the user's who asked for the rights
// (pkexec names them in PKEXEC_UID), the caller's, HOME, and every other
// account's.
std::vector<std::string> protectedHomes()
{
    std::vector<std::string> homes;
    auto addAccount = [&](uid_t uid) {
        if (const passwd* entry = getpwuid(uid); entry != nullptr && entry->pw_dir != nullptr)
            homes.push_back(entry->pw_dir);
    };
    if (const char* asking = std::getenv("PKEXEC_UID"); asking != nullptr && asking[0] != '\0') {
        char* end = nullptr;
        unsigned long uid = std::strtoul(asking, &end, 10);
        if (end != nullptr && *end == '\0')
            addAccount(static_cast<uid_t>(uid));
    }
    addAccount(getuid());
    if (const char* home = std::getenv("HOME"); home != nullptr)
        homes.push_back(home);
    setpwent();
    while (const passwd* entry = getpwent()) {
        if (entry->pw_dir != nullptr)
            homes.push_back(entry->pw_dir);
    }
    endpwent();
    return homes;
}

bool writeAnswer(const std::string& answer)
{
    std::string line = answer + "\n";
    size_t written = 0;
    while (written < line.size()) {
        ssize_t n = ::write(STDOUT_FILENO, line.data() + written, line.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<size_t>(n);
    }
    return true;
}

std::string error(const char* reason)
{
    return std::string(vt::privileged::kErrorAnswer) + " " + reason;
}

// Starts rm without waiting for it; its input and output go nowhere, so it
// can never read or answer requests.
std::string startRemoval(const std::string& path)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::string tool = kRemoveTool, options = kRemoveOptions, target = path;
    char* argv[] = {tool.data(), options.data(), target.data(), nullptr};
    char environment[] = "PATH=/usr/bin:/bin";
    char* envp[] = {environment, nullptr};
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, kRemoveTool, &actions, nullptr, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return error("start-failed");
    return std::string(vt::privileged::kStartedAnswer) + " " + std::to_string(pid);
}

std::string answerRequest(const VTRemovalGuard& guard, std::string_view line)
{
    std::optional<std::vector<std::string>> fields = vt::privileged::decodeRequest(line);
    if (!fields)
        return error("malformed");
    if (fields->size() != 3 || (*fields)[0] != kRemoveTool || (*fields)[1] != kRemoveOptions)
        return error("not-allowed");
    std::string resolved;
    VTRemovalRefusal refusal = guard.check((*fields)[2].c_str(), resolved);
    if (refusal != VTRemovalRefusal::none)
        return error(refusalName(refusal));
    return startRemoval(resolved);
}

// Reads request lines from standard input. A line longer than the protocol
// allows is skipped to its end and reported as overlong.
class RequestReader {
public:
    enum class Result { line, overlong, unterminated, end };

    Result next(std::string& line)
    {
        bool overlong = false;
        for (;;) {
            size_t newline = m_buffer.find('\n');
            if (newline != std::string::npos) {
                line = m_buffer.substr(0, newline);
                m_buffer.erase(0, newline + 1);
                return overlong ? Result::overlong : Result::line;
            }
            if (m_buffer.size() >= vt::privileged::kMaxRequestLine) {
                overlong = true;
                m_buffer.clear();
            }
            char chunk[512];
            ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                bool partial = overlong || !m_buffer.empty();
                m_buffer.clear();
                return partial ? Result::unterminated : Result::end;
            }
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
    }

private:
    std::string m_buffer;
};

void reapFinishedRemovals()
{
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

} // namespace

int main(int argc, char** argv)
{
    // A caller that goes away ends the helper through a failed write, not
    // a signal.
    std::signal(SIGPIPE, SIG_IGN);

    std::string root;
    if (argc == 3 && std::strcmp(argv[1], "--root") == 0) {
        char resolved[PATH_MAX];
        if (argv[2][0] != '/' || realpath(argv[2], resolved) == nullptr)
            return 2;
        root = resolved;
    } else if (argc != 1) {
        return 2;
    }
    const VTRemovalGuard guard(root, protectedHomes());

    if (!writeAnswer(std::string(vt::privileged::kReadyAnswer)))
        return 1;
    RequestReader reader;
    std::string line;
    for (;;) {
        RequestReader::Result result = reader.next(line);
        if (result == RequestReader::Result::end)
            return 0;
        reapFinishedRemovals();
        std::string answer;
        if (result == RequestReader::Result::line)
            answer = answerRequest(guard, line);
        else if (result == RequestReader::Result::overlong)
            answer = error("overlong");
        else
            answer = error("malformed");
        if (!writeAnswer(answer) || result == RequestReader::Result::unterminated)
            return 0;
    }
}
