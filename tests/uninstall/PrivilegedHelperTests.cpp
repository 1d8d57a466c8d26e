// The privileged helper and the Security stand-in in front of it: the helper
// starts "/bin/rm -rf <path>" for allowed paths and nothing else, answers
// every line, and the authorization calls report the prompt's answer.
#include "UninstallTestSupport.h"

#include <Security/Security.h>

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using uninstalltest::ScratchComputer;

namespace {

// The helper run directly as the current user, confined to a root.
class HelperSession {
public:
    explicit HelperSession(const std::string& root)
    {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        std::string helper = KINDRA_UNINSTALL_HELPER, option = "--root", folder = root;
        char* argv[] = {helper.data(), option.data(), folder.data(), nullptr};
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv, environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        m_socket = ends[0];
    }
    ~HelperSession()
    {
        ::close(m_socket);
        finish();
    }

    void send(const std::string& bytes)
    {
        ASSERT_EQ(::send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    void endInput() { ::shutdown(m_socket, SHUT_WR); }

    // The next answer line; "" when the helper closed its output or stays
    // silent for half a minute.
    std::string answer()
    {
        for (;;) {
            size_t newline = m_received.find('\n');
            if (newline != std::string::npos) {
                std::string line = m_received.substr(0, newline);
                m_received.erase(0, newline + 1);
                return line;
            }
            pollfd ready{m_socket, POLLIN, 0};
            char buffer[256];
            ssize_t n = ::poll(&ready, 1, 30000) == 1 ? ::read(m_socket, buffer, sizeof buffer) : 0;
            if (n <= 0)
                return {};
            m_received.append(buffer, static_cast<size_t>(n));
        }
    }

    // The helper's exit status once it has ended.
    int finish()
    {
        int status = -1;
        if (m_pid > 0)
            waitpid(m_pid, &status, 0);
        m_pid = -1;
        return status;
    }

private:
    pid_t m_pid = -1;
    int m_socket = -1;
    std::string m_received;
};

// A request field with its one escape, "%20", undone.
std::string decoded(std::string field)
{
    for (size_t at = field.find("%20"); at != std::string::npos; at = field.find("%20", at))
        field.replace(at, 3, " ");
    return field;
}

struct HelperRequest {
    std::string line;   // placeholders expanded by the test, newline added
    std::string answer; // "ok" for a started removal, else the whole answer
};

class PrivilegedHelper : public ScratchComputer {};

TEST_F(PrivilegedHelper, StartsOnlyRmOfAnAllowedPathAndAnswersEveryLine)
{
    const char* const vst = "{IR}/Library/Audio/Plug-Ins/VST/Kindra.vst";
    const char* const vst3 = "{IR}/Library/Audio/Plug-Ins/VST3/Kindra.vst3";
    for (const char* folder :
         {vst, vst3, "{IR}/Library/Application Support/Veltrane/Kindra", "{R}/usr/bin", "{H}/Documents"})
        writeFile(expand(folder) + "/file");
    makeLink(expand("{R}/srv/everything"), m_r);
    makeLink(expand("{R}/srv/homes"), expand("{R}/home/staff"));
    makeLink(expand("{R}/srv/outside"), "/");
    const std::string cut = "/bin/rm -rf {R}/srv/" + std::string(255, 'c').substr(0, 255 - (m_r.size() + 5));
    ASSERT_EQ(expand(cut).size() - std::string("/bin/rm -rf ").size(), 255u);
    writeFile(expand(cut.substr(std::string("/bin/rm -rf ").size())));

    const std::vector<HelperRequest> requests = {
        {"/bin/rm -rf {IR}/Library/Audio/Plug-Ins/VST/Kindra.vst", "ok"},
        // Any other program or argument.
        {"/bin/sh -c true", "error not-allowed"},
        {"rm -rf {IR}/Library/Audio/Plug-Ins/VST3/Kindra.vst3", "error not-allowed"},
        {"/usr/bin/rm -rf {IR}/Library/Audio/Plug-Ins/VST3/Kindra.vst3", "error not-allowed"},
        {"/bin/rm -r {IR}/Library/Audio/Plug-Ins/VST3/Kindra.vst3", "error not-allowed"},
        {"/bin/rm -fr {IR}/Library/Audio/Plug-Ins/VST3/Kindra.vst3", "error not-allowed"},
        {"/bin/rm -rf", "error not-allowed"},
        {"/bin/rm -rf -- {IR}/Library/Audio/Plug-Ins/VST3/Kindra.vst3", "error not-allowed"},
        {"/bin/rm -rf {IR}/Library/Audio/Plug-Ins/VST3/Kindra.vst3 {H}/Documents", "error not-allowed"},
        {"/bin/rm --no-preserve-root -rf /", "error not-allowed"},
        // Lines that are not requests.
        {"", "error malformed"},
        {"/bin/rm  -rf {IR}/Library/Audio/Plug-Ins/VST3/Kindra.vst3", "error malformed"},
        {"/bin/rm -rf {IR}/Library/Audio/Plug-Ins/VST3/Kindra.vst3 ", "error malformed"},
        {"/bin/rm -rf {IR}/Library/Audio/Plug-Ins/VST3/Kindra.vst3%zz", "error malformed"},
        {"/bin/rm -rf {IR}/Library/Audio/Plug-Ins/VST3/Kindra.vst3%00", "error malformed"},
        {"/bin/rm -rf {IR}/Library/Audio/Plug-Ins/VST3/Kindra.vst3\t", "error malformed"},
        {"/bin/rm -rf {IR}/" + std::string(3000, 'a'), "error overlong"},
        // Paths that must never be removed.
        {"/bin/rm -rf Library/Audio", "error relative"},
        {"/bin/rm -rf {IR}/Library/./Audio", "error dot-component"},
        {"/bin/rm -rf {IR}/Library/Audio/..", "error dot-component"},
        {"/bin/rm -rf {IR}/Library//Audio", "error empty-component"},
        {"/bin/rm -rf {IR}/Library/Audio/", "error empty-component"},
        {cut, "error too-long"},
        {"/bin/rm -rf /", "error file-system-root"},
        {"/bin/rm -rf {R}", "error file-system-root"},
        {"/bin/rm -rf /usr", "error outside-root"},
        {"/bin/rm -rf {R}/usr", "error top-level-folder"},
        {"/bin/rm -rf {R}/home", "error top-level-folder"},
        {"/bin/rm -rf {IR}", "error install-root"},
        {"/bin/rm -rf {IR}/Library", "error top-level-folder"},
        {"/bin/rm -rf {IR}/Applications", "error top-level-folder"},
        {"/bin/rm -rf {H}", "error home-folder"},
        {"/bin/rm -rf {R}/home/staff", "error home-folder"},
        {"/bin/rm -rf {H}/Documents", "error in-home-folder"},
        {"/bin/rm -rf {R}/srv/missing/Kindra", "error unresolvable"},
        // The same reached through links; a link itself is only a link.
        {"/bin/rm -rf {R}/srv/everything/usr", "error top-level-folder"},
        {"/bin/rm -rf {R}/srv/everything/srv/homes/alex", "error home-folder"},
        {"/bin/rm -rf {R}/srv/homes/alex", "error home-folder"},
        {"/bin/rm -rf {R}/srv/homes/alex/Documents", "error in-home-folder"},
        {"/bin/rm -rf {R}/srv/outside/usr", "error outside-root"},
        {"/bin/rm -rf {R}/srv/homes", "ok"},
        // Still answering after all of the above.
        {"/bin/rm -rf {IR}/Library/Application%20Support/Veltrane/Kindra", "ok"},
    };

    const auto before = snapshot();
    HelperSession helper(m_r);
    ASSERT_EQ(helper.answer(), "ready");
    std::vector<std::string> removed;
    for (const HelperRequest& request : requests) {
        const std::string line = expand(request.line);
        SCOPED_TRACE(line.substr(0, 120));
        helper.send(line + "\n");
        const std::string answer = helper.answer();
        if (request.answer == "ok") {
            EXPECT_TRUE(answer.starts_with("ok ")) << answer;
            removed.push_back(decoded(line.substr(std::string("/bin/rm -rf ").size())));
        } else {
            EXPECT_EQ(answer, request.answer);
        }
    }
    // A last line cut off by the end of input is answered too.
    helper.send(expand("/bin/rm -rf {H}/Documents"));
    helper.endInput();
    EXPECT_EQ(helper.answer(), "error malformed");
    EXPECT_EQ(helper.answer(), "");
    const int status = helper.finish();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // Only the allowed paths go; their removals run on after the helper.
    const auto expected = without(before, removed);
    for (int i = 0; i < 6000 && snapshot() != expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(snapshot(), expected);
}

// ----------------------------------------------------- authorization calls

struct RightsCase {
    const char* label;
    std::vector<std::string> elevator;
    const char* right;
    AuthorizationFlags flags;
    OSStatus status;
};

void PrintTo(const RightsCase& value, std::ostream* out)
{
    *out << value.label;
}

class AuthorizationPrompt : public ScratchComputer, public ::testing::WithParamInterface<RightsCase> {};

TEST_P(AuthorizationPrompt, ReportThePromptsAnswerWithTheSystemsStatusCodes)
{
    const RightsCase& c = GetParam();
    useHelper(c.elevator);
    AuthorizationRef authorization = nullptr;
    ASSERT_EQ(AuthorizationCreate(nullptr, kAuthorizationEmptyEnvironment, kAuthorizationFlagDefaults, &authorization),
              errAuthorizationSuccess);
    AuthorizationItem item = {c.right, 0, nullptr, 0};
    ::AuthorizationRights rights = {1, &item};
    EXPECT_EQ(AuthorizationCopyRights(authorization, &rights, kAuthorizationEmptyEnvironment, c.flags, nullptr),
              c.status);
    EXPECT_EQ(AuthorizationFree(authorization, kAuthorizationFlagDefaults), errAuthorizationSuccess);
}

constexpr AuthorizationFlags kAsked =
    kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights | kAuthorizationFlagPreAuthorize;

INSTANTIATE_TEST_SUITE_P(
    Cases, AuthorizationPrompt,
    ::testing::Values(
        RightsCase{"granted without a prompt", {}, "system.privilege.admin", kAsked, errAuthorizationSuccess},
        // /usr/bin/env passes the helper on, as pkexec does after a granted prompt.
        RightsCase{
            "granted at the prompt", {"/usr/bin/env"}, "system.privilege.admin", kAsked, errAuthorizationSuccess},
        RightsCase{"prompt dismissed",
                   {"/bin/sh", "-c", "exit 126"},
                   "system.privilege.admin",
                   kAsked,
                   errAuthorizationCanceled},
        RightsCase{
            "prompt refused", {"/bin/sh", "-c", "exit 127"}, "system.privilege.admin", kAsked, errAuthorizationDenied},
        RightsCase{"prompt needed but not allowed",
                   {"/usr/bin/env"},
                   "system.privilege.admin",
                   kAuthorizationFlagExtendRights,
                   errAuthorizationInteractionNotAllowed},
        RightsCase{"rights not to be extended",
                   {},
                   "system.privilege.admin",
                   kAuthorizationFlagInteractionAllowed,
                   errAuthorizationDenied},
        RightsCase{"a right never granted", {}, "system.privilege.taskport", kAsked, errAuthorizationDenied}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

class AuthorizationTools : public ScratchComputer {};

TEST_F(AuthorizationTools, AGrantedAuthorizationStartsOnlyTheAllowedRemoval)
{
    const std::string vst = expand("{IR}/Library/Audio/Plug-Ins/VST/Kindra.vst");
    const std::string vst3 = expand("{IR}/Library/Audio/Plug-Ins/VST3/Kindra.vst3");
    writeFile(vst + "/file");
    writeFile(vst3 + "/file");
    const auto before = snapshot();
    AuthorizationRef authorization = nullptr;
    AuthorizationItem item = {kAuthorizationRightExecute, 0, nullptr, 0};
    ::AuthorizationRights rights = {1, &item};
    ASSERT_EQ(AuthorizationCreate(&rights, kAuthorizationEmptyEnvironment, kAsked, &authorization),
              errAuthorizationSuccess);

    struct ToolCase {
        const char* tool;
        std::vector<std::string> arguments;
        bool pipe;
        OSStatus status;
    };
    const ToolCase cases[] = {
        {"/bin/sh", {"-c", "true"}, false, errAuthorizationToolExecuteFailure},
        {"/bin/rm", {"-rf", m_home}, false, errAuthorizationToolExecuteFailure},
        {"/bin/rm", {"-rf", vst3}, true, errAuthorizationInvalidPointer},
        {"/bin/rm", {"-rf", vst}, false, errAuthorizationSuccess},
    };
    for (const ToolCase& c : cases) {
        SCOPED_TRACE(c.tool + (" " + c.arguments.back()));
        std::vector<std::string> arguments = c.arguments;
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        FILE* pipe = nullptr;
        EXPECT_EQ(AuthorizationExecuteWithPrivileges(authorization, c.tool, kAuthorizationFlagDefaults, argv.data(),
                                                     c.pipe ? &pipe : nullptr),
                  c.status);
    }
    EXPECT_EQ(AuthorizationFree(authorization, kAuthorizationFlagDefaults), errAuthorizationSuccess);
    EXPECT_TRUE(vt::testing::waitForPrivilegedTools());
    EXPECT_EQ(snapshot(), without(before, {vst}));
}

} // namespace

namespace {

TEST_F(AuthorizationTools, AHelperThatStopsAnsweringIsNotStartedAgain)
{
    // A "helper" that reports the rights and then ends at once.
    useHelper({"/bin/sh", "-c", "echo ready"});
    AuthorizationRef authorization = nullptr;
    AuthorizationItem item = {kAuthorizationRightExecute, 0, nullptr, 0};
    ::AuthorizationRights rights = {1, &item};
    ASSERT_EQ(AuthorizationCreate(&rights, kAuthorizationEmptyEnvironment, kAsked, &authorization),
              errAuthorizationSuccess);
    std::string options = "-rf", target = expand("{IR}/Library/Audio/Plug-Ins/VST/Kindra.vst");
    char* arguments[] = {options.data(), target.data(), nullptr};
    EXPECT_EQ(
        AuthorizationExecuteWithPrivileges(authorization, "/bin/rm", kAuthorizationFlagDefaults, arguments, nullptr),
        errAuthorizationToolExecuteFailure);
    // Starting it again would mean a second prompt in the middle of a run.
    EXPECT_EQ(
        AuthorizationExecuteWithPrivileges(authorization, "/bin/rm", kAuthorizationFlagDefaults, arguments, nullptr),
        errAuthorizationDenied);
    EXPECT_EQ(AuthorizationFree(authorization, kAuthorizationFlagDefaults), errAuthorizationSuccess);
}

} // namespace
