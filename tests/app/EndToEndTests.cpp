// Kindra as a user runs it: the built program under an X server and a JACK
// server (jackd's dummy driver) that the test starts for itself, a key typed
// into its window, its sound captured from its JACK output ports by a client
// of the test's own, and Ctrl+Q.
#include "VTTemporaryFolder.h"

#include <jack/jack.h>

#include <gtest/gtest.h>
// After GoogleTest: Xlib defines None and Bool as macros.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Polls until the condition holds; false when the timeout passed first.
bool waitFor(const std::function<bool()>& condition, double seconds)
{
    const Clock::time_point start = Clock::now();
    while (!condition()) {
        if (millisecondsSince(start) > seconds * 1000.0)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// This process's environment with some variables replaced or removed (an
// empty value removes).
std::vector<std::string> environmentWith(const std::vector<std::pair<std::string, std::string>>& changes)
{
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool changed = false;
        for (const auto& change : changes)
            changed = changed || change.first == name;
        if (!changed)
            result.push_back(text);
    }
    for (const auto& [name, value] : changes)
        if (!value.empty())
            result.push_back(name + "=" + value);
    return result;
}

// A child process, ended (SIGTERM, then SIGKILL) if still running at the end.
class Child {
public:
    Child(std::vector<std::string> arguments, const std::vector<std::string>& environment,
          const posix_spawn_file_actions_t* actions = nullptr)
    {
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        std::vector<std::string> envCopy = environment;
        std::vector<char*> envp;
        for (std::string& variable : envCopy)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        if (posix_spawnp(&m_pid, argv[0], actions, nullptr, argv.data(), envp.data()) != 0)
            m_pid = -1;
    }
    ~Child()
    {
        if (running()) {
            kill(m_pid, SIGTERM);
            if (!waitExit(10.0)) {
                kill(m_pid, SIGKILL);
                waitExit(10.0);
            }
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return m_pid > 0; }
    bool running() const { return m_pid > 0 && !m_exited; }
    pid_t pid() const { return m_pid; }
    int status() const { return m_status; }
    bool waitExit(double seconds)
    {
        if (m_pid <= 0)
            return false;
        return waitFor(
            [&] {
                if (m_exited)
                    return true;
                if (waitpid(m_pid, &m_status, WNOHANG) == m_pid)
                    m_exited = true;
                return m_exited;
            },
            seconds);
    }

private:
    pid_t m_pid = -1;
    int m_status = 0;
    bool m_exited = false;
};

// An X server of the test's own; it picks a free display number itself.
class XServer {
public:
    XServer()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        m_server = std::make_unique<Child>(
            std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", "1280x800x24", "-nolisten", "tcp"},
            environmentWith({}), &actions);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        char number[16] = {};
        ssize_t length = 0;
        // Xvfb writes the number once it accepts connections.
        while (length < static_cast<ssize_t>(sizeof number) - 1) {
            ssize_t got = read(fds[0], number + length, 1);
            if (got <= 0 || number[length] == '\n')
                break;
            length += got;
        }
        close(fds[0]);
        if (length > 0)
            m_display = ":" + std::string(number, static_cast<size_t>(length));
    }
    const std::string& display() const { return m_display; }

private:
    std::unique_ptr<Child> m_server;
    std::string m_display;
};

// jackd on its dummy driver under a name of the test's own.
class JackServer {
public:
    JackServer() : m_name("kindra-e2e-" + std::to_string(getpid()))
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        m_server = std::make_unique<Child>(
            std::vector<std::string>{"jackd", "-n", m_name, "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "256"},
            environmentWith({}), &actions);
        posix_spawn_file_actions_destroy(&actions);
    }
    const std::string& name() const { return m_name; }
    bool started() const { return m_server->started(); }

private:
    std::string m_name;
    std::unique_ptr<Child> m_server;
};

// The test's own JACK client: two inputs that hear Kindra's outputs.
class Capture {
public:
    explicit Capture(const std::string& server)
    {
        // Attempts before the server is up fail noisily; only the outcome
        // counts.
        jack_set_error_function([](const char*) {});
        waitFor(
            [&] {
                jack_status_t status{};
                m_client = jack_client_open("kindra-e2e-capture",
                                            static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status,
                                            server.c_str());
                return m_client != nullptr;
            },
            20.0);
        jack_set_error_function([](const char* message) { std::fprintf(stderr, "jack: %s\n", message); });
        if (m_client == nullptr)
            return;
        for (int i = 0; i < 2; ++i)
            m_ports[i] =
                jack_port_register(m_client, i == 0 ? "in_1" : "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(m_client, &Capture::process, this);
        jack_activate(m_client);
    }
    ~Capture()
    {
        if (m_client != nullptr) {
            jack_deactivate(m_client);
            jack_client_close(m_client);
        }
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    jack_client_t* client() const { return m_client; }
    // The output ports of the client named "Kindra".
    std::vector<std::string> kindraOutputs() const
    {
        std::vector<std::string> names;
        const char** ports = jack_get_ports(m_client, "^Kindra:", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        for (int i = 0; ports != nullptr && ports[i] != nullptr; ++i)
            names.push_back(ports[i]);
        jack_free(ports);
        return names;
    }
    bool connectFrom(const std::vector<std::string>& sources)
    {
        // A port already connected by an earlier try counts as connected.
        for (size_t i = 0; i < 2 && i < sources.size(); ++i)
            if (const int status = jack_connect(m_client, sources[i].c_str(), jack_port_name(m_ports[i]));
                status != 0 && status != EEXIST)
                return false;
        return sources.size() >= 2;
    }
    // The loudest sample since the last reset, and the cycles run since.
    void reset()
    {
        m_peak = 0.0f;
        m_cycles = 0;
    }
    float peak() const { return m_peak.load(); }
    uint64_t cycles() const { return m_cycles.load(); }

private:
    static int process(jack_nframes_t frames, void* self)
    {
        auto* capture = static_cast<Capture*>(self);
        float peak = capture->m_peak.load(std::memory_order_relaxed);
        for (jack_port_t* port : capture->m_ports) {
            const auto* samples = static_cast<const float*>(jack_port_get_buffer(port, frames));
            for (jack_nframes_t i = 0; samples != nullptr && i < frames; ++i)
                peak = std::max(peak, std::fabs(samples[i]));
        }
        capture->m_peak.store(peak, std::memory_order_relaxed);
        capture->m_cycles.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }

    jack_client_t* m_client = nullptr;
    jack_port_t* m_ports[2] = {nullptr, nullptr};
    std::atomic<float> m_peak{0.0f};
    std::atomic<uint64_t> m_cycles{0};
};

// --- the X11 side
std::string windowName(Display* display, Window window)
{
    char* name = nullptr;
    std::string result;
    if (XFetchName(display, window, &name) != 0 && name != nullptr)
        result = name;
    if (name != nullptr)
        XFree(name);
    return result;
}

std::vector<Window> childrenOf(Display* display, Window window)
{
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> result;
    if (XQueryTree(display, window, &root, &parent, &children, &count) != 0)
        result.assign(children, children + count);
    if (children != nullptr)
        XFree(children);
    return result;
}

// The shown top-level window whose title begins so (Qt keeps small helper
// windows of the same name).
Window findTopLevel(Display* display, const std::string& titlePrefix)
{
    for (Window window : childrenOf(display, DefaultRootWindow(display))) {
        XWindowAttributes attributes{};
        if (windowName(display, window).rfind(titlePrefix, 0) == 0 &&
            XGetWindowAttributes(display, window, &attributes) != 0 && attributes.map_state == IsViewable &&
            attributes.width > 100)
            return window;
    }
    return 0;
}

// A viewable window of the given size below the top level's direct
// children, with the parent it is a child of.
std::pair<Window, Window> findEditor(Display* display, Window topLevel, int width, int height)
{
    std::vector<std::pair<Window, Window>> pending;
    for (Window child : childrenOf(display, topLevel))
        pending.push_back({child, topLevel});
    while (!pending.empty()) {
        auto [window, parent] = pending.back();
        pending.pop_back();
        XWindowAttributes attributes{};
        if (parent != topLevel && XGetWindowAttributes(display, window, &attributes) != 0 &&
            attributes.width == width && attributes.height == height && attributes.map_state == IsViewable)
            return {window, parent};
        for (Window child : childrenOf(display, window))
            pending.push_back({child, window});
    }
    return {0, 0};
}

bool runTool(std::vector<std::string> arguments, const std::vector<std::string>& environment)
{
    Child tool(std::move(arguments), environment);
    return tool.started() && tool.waitExit(20.0) && WIFEXITED(tool.status()) && WEXITSTATUS(tool.status()) == 0;
}

TEST(KindraEndToEnd, StartsWithItsEditorPlaysATypedNoteThroughJackAndSavesItsStateOnCtrlQ)
{
    XServer xserver;
    ASSERT_FALSE(xserver.display().empty()) << "Xvfb did not start";
    JackServer jack;
    ASSERT_TRUE(jack.started()) << "jackd did not start";
    Capture capture(jack.name());
    ASSERT_NE(capture.client(), nullptr) << "no JACK server answered";

    // A home of its own with the support folder the installer names.
    vt::testing::TemporaryFolder home("kindra-e2e");
    ASSERT_TRUE(home.valid());
    const fs::path content = home.path() / "Library/Application Support/Veltrane/Kindra";
    fs::create_directories(content);
    fs::create_directories(home.path() / "runtime");
    fs::permissions(home.path() / "runtime", fs::perms::owner_all);
    const std::vector<std::string> environment =
        environmentWith({{"HOME", home.path().string()},
                         {"DISPLAY", xserver.display()},
                         {"JACK_DEFAULT_SERVER", jack.name()},
                         {"XDG_RUNTIME_DIR", (home.path() / "runtime").string()},
                         {"QT_QPA_PLATFORM", ""},
                         {"LSAN_OPTIONS", "suppressions=" KINDRA_SOURCE_DIR "/tests/app/system-library-leaks.supp"}});
    ASSERT_TRUE(runTool({KINDRA_DEFAULTS_BINARY, "write", "com.veltrane.Kindra", "contentpath", content.string() + "/"},
                        environment));

    // --- Kindra starts: its window with the plug-in's editor, its ports
    const Clock::time_point launched = Clock::now();
    Child kindra({KINDRA_APP_BINARY}, environment);
    ASSERT_TRUE(kindra.started());
    std::vector<std::string> outputs;
    ASSERT_TRUE(waitFor(
        [&] {
            outputs = capture.kindraOutputs();
            return outputs.size() >= 2;
        },
        30.0))
        << "Kindra's JACK output ports did not appear";
    const double startupMilliseconds = millisecondsSince(launched);
    // Kindra's ports exist a moment before its client is active.
    ASSERT_TRUE(waitFor([&] { return capture.connectFrom(outputs); }, 30.0));

    Display* display = XOpenDisplay(xserver.display().c_str());
    ASSERT_NE(display, nullptr);
    Window topLevel = 0;
    ASSERT_TRUE(waitFor([&] { return (topLevel = findTopLevel(display, "Kindra")) != 0; }, 30.0));
    // The Kindra editor's compact size.
    std::pair<Window, Window> editor;
    ASSERT_TRUE(waitFor([&] { return (editor = findEditor(display, topLevel, 420, 340)).first != 0; }, 30.0))
        << "no editor inside the main window";
    EXPECT_NE(editor.second, topLevel);

    // --- silence, then the note of a typed "d"
    capture.reset();
    ASSERT_TRUE(waitFor([&] { return capture.cycles() > 40; }, 30.0));
    EXPECT_LT(capture.peak(), 1e-4f);
    const std::string window = std::to_string(topLevel);
    // The pointer away from the editor, the keyboard on the main window.
    ASSERT_TRUE(runTool({"xdotool", "mousemove", "0", "0"}, environment));
    ASSERT_TRUE(runTool({"xdotool", "windowfocus", "--sync", window}, environment));
    capture.reset();
    ASSERT_TRUE(runTool({"xdotool", "keydown", "d"}, environment));
    EXPECT_TRUE(waitFor([&] { return capture.peak() > 0.01f; }, 30.0)) << "peak " << capture.peak();
    ASSERT_TRUE(runTool({"xdotool", "keyup", "d"}, environment));

    // --- Ctrl+Q quits; the plug-in's state is saved
    const Clock::time_point quit = Clock::now();
    ASSERT_TRUE(runTool({"xdotool", "key", "ctrl+q"}, environment));
    ASSERT_TRUE(kindra.waitExit(30.0)) << "Kindra did not quit";
    const double quitMilliseconds = millisecondsSince(quit);
    EXPECT_TRUE(WIFEXITED(kindra.status()) && WEXITSTATUS(kindra.status()) == 0);
    EXPECT_TRUE(fs::exists(content / "saved.chunk"));
    XCloseDisplay(display);
    RecordProperty("startup_to_ports_ms", std::to_string(startupMilliseconds));
    RecordProperty("quit_to_exit_ms", std::to_string(quitMilliseconds));
}

} // namespace
