// Kindra on a JACK server against a bare pass-through client, in the same
// run: for each period a private dummy-backed jackd (-R when the machine
// allows it) runs first the bare client alone, then Kindra's engine with
// the Kindra plug-in holding 8 notes, for the same time each. Reports the
// xruns, the process callback's time (p50/p99/max) and the server's DSP
// load, and the plug-in called directly at the same block size.
//   vtjack_bench [seconds per phase, default 60]
#include "JackAudioProvider.h"
#include "KindraOnJack.h"
#include "VTAudioLib.h"
#include "VTMidiLib.h"
#include "VTVSTHostInterface.h"
#include "VTVSTHostLib.h"
#include "VTVSTHostRegistry.h"
#include "VTVSTInterface.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <mach/mach_time.h>
#include <vtplatform/AudioServer.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kNotes = 8;
constexpr size_t kMaxSamples = 1 << 22;

// Callback durations in nanoseconds, written by one process thread.
struct Durations {
    std::vector<uint64_t> values = std::vector<uint64_t>(kMaxSamples);
    std::atomic<size_t> count{0};
    void add(uint64_t ns)
    {
        size_t at = count.load(std::memory_order_relaxed);
        if (at < values.size()) {
            values[at] = ns;
            count.store(at + 1, std::memory_order_release);
        }
    }
    void clear() { count.store(0); }
    uint64_t median() const
    {
        std::vector<uint64_t> sorted(values.begin(), values.begin() + static_cast<long>(count.load()));
        if (sorted.empty())
            return 0;
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2), sorted.end());
        return sorted[sorted.size() / 2];
    }
    double overPercent(const Durations& base) const
    {
        double b = static_cast<double>(base.median());
        return b > 0 ? 100.0 * (static_cast<double>(median()) - b) / b : 0.0;
    }
    // p50, p99, max in microseconds.
    void report(const char* what) const
    {
        std::vector<uint64_t> sorted(values.begin(), values.begin() + static_cast<long>(count.load()));
        if (sorted.empty()) {
            std::printf("  %-26s no cycles\n", what);
            return;
        }
        std::sort(sorted.begin(), sorted.end());
        auto at = [&](double q) {
            return sorted[static_cast<size_t>(q * static_cast<double>(sorted.size() - 1))] / 1000.0;
        };
        std::printf("  %-26s cycles %7zu  p50 %7.2f us  p99 %7.2f us  max %8.2f us\n", what, sorted.size(), at(0.5),
                    at(0.99), sorted.back() / 1000.0);
    }
};

void quiet(const char*) {}

jack_client_t* open(const std::string& name)
{
    jack_status_t status{};
    return jack_client_open(name.c_str(), JackNoStartServer, &status);
}

pid_t startServer(const std::string& name, unsigned period, bool realtime)
{
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        int devnull = ::open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        std::string p = std::to_string(period);
        execlp("jackd", "jackd", realtime ? "-R" : "--no-realtime", "-n", name.c_str(), "-d", "dummy", "-r", "48000",
               "-p", p.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    for (int i = 0; i < 200; ++i) {
        if (jack_client_t* probe = open("probe")) {
            jack_client_close(probe);
            return pid;
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return -1;
}

void stopServer(pid_t pid)
{
    kill(pid, SIGTERM); // a clean stop frees the server's registry slot
    waitpid(pid, nullptr, 0);
}

// The bare client: its inputs copied to its outputs, timed.
struct Bare {
    jack_client_t* client = nullptr;
    jack_port_t* in[2] = {};
    jack_port_t* out[2] = {};
    Durations durations;
    std::atomic<uint64_t> xruns{0};

    static int process(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<Bare*>(arg);
        uint64_t began = mach_absolute_time();
        for (int c = 0; c < 2; ++c) {
            auto* from = static_cast<float*>(jack_port_get_buffer(self->in[c], frames));
            auto* to = static_cast<float*>(jack_port_get_buffer(self->out[c], frames));
            std::copy(from, from + frames, to);
        }
        self->durations.add(mach_absolute_time() - began);
        return 0;
    }
    static int xrun(void* arg)
    {
        static_cast<Bare*>(arg)->xruns.fetch_add(1);
        return 0;
    }
};

// Sends the held notes from a MIDI port of its own.
struct Keys {
    jack_client_t* client = nullptr;
    jack_port_t* out = nullptr;
    std::atomic<bool> send{false};

    static int process(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<Keys*>(arg);
        void* buffer = jack_port_get_buffer(self->out, frames);
        jack_midi_clear_buffer(buffer);
        if (self->send.exchange(false))
            for (int n = 0; n < kNotes; ++n) {
                unsigned char on[3] = {0x90, static_cast<unsigned char>(48 + 3 * n), 100};
                jack_midi_event_write(buffer, 0, on, 3);
            }
        return 0;
    }
};

double averageLoad(int seconds, const std::function<float()>& load)
{
    double sum = 0;
    int samples = 0;
    for (int i = 0; i < seconds * 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        sum += load();
        ++samples;
    }
    return samples > 0 ? sum / samples : 0;
}

// Kindra's callback split into the plug-in's share and its own: the
// plug-in's processReplacing is wrapped in a timer, and the provider's
// cycle observer, called on the same thread right after the cycle, takes
// the rest.
struct KindraCycles {
    Durations total;
    Durations plugin;
    Durations own;
};

AEffectProcessProc wrappedProcess = nullptr;
uint64_t pluginThisCycle = 0; // process thread only

void timedProcess(AEffect* effect, float** inputs, float** outputs, VstInt32 frames)
{
    uint64_t began = mach_absolute_time();
    wrappedProcess(effect, inputs, outputs, frames);
    pluginThisCycle += mach_absolute_time() - began;
}

void observe(uint64_t ns, void* data)
{
    auto* cycles = static_cast<KindraCycles*>(data);
    cycles->total.add(ns);
    cycles->plugin.add(pluginThisCycle);
    cycles->own.add(ns > pluginThisCycle ? ns - pluginThisCycle : 0);
    pluginThisCycle = 0;
}

// The plug-in alone, called from a JACK client's process callback as the
// engine is, with the same 8 notes held.
struct Direct {
    AEffect* effect = nullptr;
    jack_port_t* out[2] = {};
    Durations durations;

    static int process(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<Direct*>(arg);
        // Timed from the same point as Kindra's cycle: before the ports'
        // buffers are asked for.
        uint64_t began = mach_absolute_time();
        float* outs[2];
        for (int c = 0; c < 2; ++c)
            outs[c] = static_cast<float*>(jack_port_get_buffer(self->out[c], frames));
        self->effect->processReplacing(self->effect, outs, outs, static_cast<VstInt32>(frames));
        self->durations.add(mach_absolute_time() - began);
        return 0;
    }
};

void direct(unsigned period, int seconds, Durations& durations)
{
    VTVSTHostLib lib;
    if (!lib.loadPlugin(KINDRA_PLUGIN_BUNDLE, nullptr, nullptr, 0, false))
        return;
    AEffect* effect = lib.m_plugin;
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    effect->dispatcher(effect, effSetBlockSize, 0, period, nullptr, 0);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0);
    std::vector<VstMidiEvent> notes(kNotes);
    std::vector<char> list(sizeof(VstEvents) + kNotes * sizeof(VstEvent*));
    auto* events = reinterpret_cast<VstEvents*>(list.data());
    events->numEvents = kNotes;
    for (int n = 0; n < kNotes; ++n) {
        notes[n] = VstMidiEvent{};
        notes[n].type = kVstMidiType;
        notes[n].byteSize = sizeof(VstMidiEvent);
        notes[n].midiData[0] = static_cast<char>(0x90);
        notes[n].midiData[1] = static_cast<char>(48 + 3 * n);
        notes[n].midiData[2] = 100;
        events->events[n] = reinterpret_cast<VstEvent*>(&notes[n]);
    }
    effect->dispatcher(effect, effProcessEvents, 0, 0, events, 0);

    Direct run;
    run.effect = effect;
    jack_client_t* client = open("direct");
    for (int c = 0; c < 2; ++c) {
        std::string n = std::to_string(c + 1);
        run.out[c] = jack_port_register(client, ("out_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    }
    jack_set_process_callback(client, &Direct::process, &run);
    jack_activate(client);
    for (int c = 0; c < 2; ++c)
        jack_connect(client, jack_port_name(run.out[c]), ("system:playback_" + std::to_string(c + 1)).c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    run.durations.clear();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    jack_deactivate(client);
    jack_client_close(client);
    std::copy(run.durations.values.begin(),
              run.durations.values.begin() + static_cast<long>(run.durations.count.load()), durations.values.begin());
    durations.count.store(run.durations.count.load());
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0);
    lib.m_plugin = nullptr; // closed once, here
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0);
    lib.unloadPlugin();
}

void runPeriod(unsigned period, int seconds)
{
    std::string name = "kindra-bench-" + std::to_string(getpid()) + "-" + std::to_string(period);
    bool realtime = true;
    pid_t server = startServer(name, period, realtime);
    if (server < 0) {
        realtime = false;
        server = startServer(name, period, realtime);
    }
    if (server < 0) {
        std::printf("period %u: jackd did not start\n", period);
        return;
    }
    std::printf("period %u frames at 48 kHz (%s), %d s per phase\n", period, realtime ? "-R" : "--no-realtime",
                seconds);
    // The provider follows the server the environment now names.
    vt::platform::audioServerReadout();

    // ---- phase 1: the bare pass-through client alone
    Bare bare;
    bare.client = open("bare");
    for (int c = 0; c < 2; ++c) {
        std::string n = std::to_string(c + 1);
        bare.in[c] = jack_port_register(bare.client, ("in_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        bare.out[c] =
            jack_port_register(bare.client, ("out_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    }
    jack_set_process_callback(bare.client, &Bare::process, &bare);
    jack_set_xrun_callback(bare.client, &Bare::xrun, &bare);
    jack_activate(bare.client);
    for (int c = 0; c < 2; ++c) {
        std::string n = std::to_string(c + 1);
        jack_connect(bare.client, ("system:capture_" + n).c_str(), jack_port_name(bare.in[c]));
        jack_connect(bare.client, jack_port_name(bare.out[c]), ("system:playback_" + n).c_str());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    bare.durations.clear();
    bare.xruns.store(0);
    double bareLoad = averageLoad(seconds, [&] { return jack_cpu_load(bare.client); });
    uint64_t bareXruns = bare.xruns.load();
    jack_deactivate(bare.client);
    jack_client_close(bare.client);

    // ---- phase 2: Kindra, wired as the main window wires it, 8 notes held
    Keys keys;
    keys.client = open("keys");
    keys.out = jack_port_register(keys.client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(keys.client, &Keys::process, &keys);
    jack_activate(keys.client);
    KindraCycles kindra;
    double kindraLoad = 0;
    uint64_t kindraXruns = 0;
    {
        KindraOnJack kindraOnJack;
        if (!kindraOnJack.loaded) {
            std::printf("  the Kindra plug-in did not load\n");
        } else {
            VTVSTHostRegistry& registry = kindraOnJack.registry;
            VTVSTHostInterface& engine = kindraOnJack.engine;
            auto& provider = vt::platform::audio::JackAudioProvider::instance();
            AEffect* effect = kindraOnJack.lib.m_plugin;
            wrappedProcess = effect->processReplacing;
            effect->processReplacing = &timedProcess;
            if (registry.outputDevice != nullptr && engine.startAudio() && engine.startMidi()) {
                keys.send.store(true);
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                provider.setCycleObserver(&observe, &kindra);
                uint64_t before = vt::platform::audioServerReadout().xruns;
                kindraLoad = averageLoad(seconds, [] { return vt::platform::audioServerReadout().dspLoad; });
                kindraXruns = vt::platform::audioServerReadout().xruns - before;
                provider.setCycleObserver(nullptr, nullptr);
                engine.stopAudio();
                effect->processReplacing = wrappedProcess;
            } else {
                std::printf("  Kindra did not start\n");
            }
            kindraOnJack.lib.unloadPlugin(); // suspended and closed once
        }
    }
    jack_deactivate(keys.client);
    jack_client_close(keys.client);

    Durations plugin;
    direct(period, seconds, plugin);

    std::printf("  bare pass-through client   xruns %4llu  DSP load %5.2f %%\n",
                static_cast<unsigned long long>(bareXruns), bareLoad);
    std::printf("  Kindra, 8 notes            xruns %4llu  DSP load %5.2f %%\n",
                static_cast<unsigned long long>(kindraXruns), kindraLoad);
    bare.durations.report("bare process callback");
    kindra.total.report("Kindra process callback");
    kindra.plugin.report("  the plug-in inside it");
    kindra.own.report("  Kindra's own share");
    plugin.report("plug-in called directly");
    std::printf("  Kindra's own share over the plug-in's inside its callback (p50): %.1f %%\n",
                kindra.plugin.median() > 0
                    ? 100.0 * static_cast<double>(kindra.own.median()) / static_cast<double>(kindra.plugin.median())
                    : 0.0);
    std::printf("  Kindra's callback over the plug-in called directly (p50): %+.1f %%\n",
                kindra.total.overPercent(plugin));
    stopServer(server);
    vt::platform::audioServerReadout();
}

} // namespace

int main(int argc, char** argv)
{
    jack_set_error_function(&quiet);
    jack_set_info_function(&quiet);
    int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    for (unsigned period : {64u, 128u, 256u})
        runPeriod(period, seconds);
    return 0;
}
