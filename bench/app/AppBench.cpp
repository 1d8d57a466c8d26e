// Kindra's start-up to its first audio cycle and its quit to the end, with
// the real Kindra plug-in on the null device, offscreen:
// - in this process: the main interface built (device layers, plug-in,
//   settings, MIDI), the first activation, until the null device has run
//   its first cycle; then the will-terminate notification (MIDI and audio
//   stopped with the 500 ms settling wait, state saved, plug-in closed)
//   and the window destroyed (counter quit_ms);
// - the built program as a new process: from its start until the settings
//   file appears, which the audio start writes once the stream runs
//   (counter process_startup_ms), and from SIGTERM to the process's exit
//   (counter process_quit_ms).
//   vtapp_bench --benchmark_repetitions=3
#include "MainInterface.h"
#include "VTPreferencesTesting.h"
#include "VTVirtualAudio.h"

#include <CoreFoundation/CoreFoundation.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A home folder of its own for one run, removed afterwards.
class ScratchHome {
public:
    ScratchHome()
    {
        std::string pattern = (fs::temp_directory_path() / "kindra-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
        setenv("HOME", m_path.c_str(), 1);
        vt::testing::forgetPreferencesInMemory();
        fs::create_directories(contentFolder());
        // The support folder the installer would name.
        CFStringRef value = CFStringCreateWithCString(nullptr, (contentFolder() + "/").c_str(), kCFStringEncodingUTF8);
        CFPreferencesSetAppValue(CFSTR("contentpath"), value, CFSTR("com.veltrane.Kindra"));
        CFPreferencesAppSynchronize(CFSTR("com.veltrane.Kindra"));
        CFRelease(value);
        vt::testing::forgetPreferencesInMemory();
    }
    ~ScratchHome()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    std::string contentFolder() const { return m_path + "/Library/Application Support/Veltrane/Kindra"; }
    std::string settingsFile() const { return m_path + "/Library/Preferences/com.veltrane.Kindra.plist"; }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// Runs the main loop in short slices until the condition holds or the
// time passed.
template <class Condition> bool runUntil(Condition condition, double seconds)
{
    const Clock::time_point start = Clock::now();
    while (!condition()) {
        if (millisecondsSince(start) > seconds * 1000.0)
            return false;
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.0005, false);
    }
    return true;
}

void StartUpToFirstAudioCycle(benchmark::State& state)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    double quitMilliseconds = 0;
    for (auto _ : state) {
        ScratchHome home;
        vt::testing::VirtualAudioWorld world; // nothing but the null device
        const uint64_t cyclesBefore = world.nullDeviceCycles();

        const Clock::time_point start = Clock::now();
        auto interface = std::make_unique<MainInterface>();
        NSNotificationCenter::defaultCenter()->postNotificationName(NSApplicationWillBecomeActiveNotification, NSApp);
        if (!runUntil([&] { return world.nullDeviceCycles() > cyclesBefore; }, 10.0)) {
            state.SkipWithError("no audio cycle within 10 s");
            break;
        }
        state.SetIterationTime(millisecondsSince(start) / 1000.0);

        const Clock::time_point quit = Clock::now();
        NSNotificationCenter::defaultCenter()->postNotificationName(NSApplicationWillTerminateNotification, NSApp);
        interface.reset();
        quitMilliseconds += millisecondsSince(quit);
    }
    state.counters["quit_ms"] = benchmark::Counter(quitMilliseconds, benchmark::Counter::kAvgIterations);
}
BENCHMARK(StartUpToFirstAudioCycle)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void ProgramStartUpAndQuit(benchmark::State& state)
{
    double startup = 0;
    double quit = 0;
    for (auto _ : state) {
        ScratchHome home;
        // The program's first run writes the settings once audio runs.
        fs::remove(home.settingsFile());
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const std::string runtime = home.path() + "/runtime";
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        char program[] = KINDRA_APP_BINARY;
        char* argv[] = {program, nullptr};
        pid_t pid = 0;
        const Clock::time_point start = Clock::now();
        if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) {
            state.SkipWithError("the program did not start");
            break;
        }
        const bool running = [&] {
            while (!fs::exists(home.settingsFile())) {
                if (millisecondsSince(start) > 20000.0)
                    return false;
                usleep(200);
            }
            return true;
        }();
        startup += millisecondsSince(start);
        const Clock::time_point stop = Clock::now();
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        quit += millisecondsSince(stop);
        if (!running || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the program did not start audio or did not quit cleanly");
            break;
        }
        state.SetIterationTime(millisecondsSince(start) / 1000.0);
    }
    state.counters["process_startup_ms"] = benchmark::Counter(startup, benchmark::Counter::kAvgIterations);
    state.counters["process_quit_ms"] = benchmark::Counter(quit, benchmark::Counter::kAvgIterations);
}
BENCHMARK(ProgramStartUpAndQuit)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
