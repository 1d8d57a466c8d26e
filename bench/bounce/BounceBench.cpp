// A whole bounce of the Kindra instrument's phrase (120 BPM, 44.1 kHz:
// pre-roll, capture to the reported end, file written, run-out) against
// calling the instrument's processReplacing directly for the same blocks
// with the same capture marker, in the same run. "x_realtime" is the
// phrase's captured length over the wall time; the bounce should keep at
// least 0.95 of the plug-in-alone speed.
//   vtbounce_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "KindraParameters.h"
#include "VTAudioFileWAV.h"
#include "VTAudioLib.h"
#include "VTBounceRender.h"
#include "VTMidiLib.h"
#include "VTTemporaryFolder.h"
#include "VTVSTHostInterface.h"
#include "VTVSTHostLib.h"
#include "VTVSTHostRegistry.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr double kRate = 44100.0;

void onBounceDone(bool done, int frames, void* data);

// The engine wired as the main window wires it, the instrument loaded from
// its bundle; the output record is one the audio layer never starts.
struct Host {
    Host()
    {
        lib.loadPlugin(KINDRA_PLUGIN_BUNDLE, nullptr, nullptr, 0, false);
        output.sampleRate = kRate;
        output.bufferSize = 512;
        output.channels = 2;
        registry.outputDevice = &output;
        engine.m_vstLib = &lib;
        engine.m_audioLib = &audio;
        engine.m_midiLib = &midi;
        engine.m_registry = &registry;
        engine.startAudio();
        if (lib.m_plugin != nullptr)
            lib.m_plugin->setParameter(lib.m_plugin, kParamRelease, 0.0f);
        lib.m_host.m_bounceDoneCallback = onBounceDone;
        lib.m_host.m_bounceDoneCustomData = this;
    }
    ~Host()
    {
        if (lib.m_plugin != nullptr)
            lib.m_plugin->dispatcher(lib.m_plugin, effClose, 0, 0, nullptr, 0.0f);
        lib.unloadPlugin();
    }

    VTBounceResult bounce()
    {
        VTAudioFileWAV writer;
        writer.writeFile(folder.file("Bounce.wav").c_str(), 0, static_cast<unsigned>(kRate), 9);
        VTBounceRender render(lib, engine);
        return render.run(writer, done, offset);
    }

    vt::testing::TemporaryHome home;
    vt::testing::TemporaryFolder folder{"kindra-bounce-bench"};
    VTVSTHostLib lib;
    VTAudioLib audio;
    VTMidiLib midi;
    VTVSTHostRegistry registry{"Kindra", true};
    VTAudioDevice output;
    VTVSTHostInterface engine;
    bool done = false;
    int32_t offset = 0;
};

void onBounceDone(bool done, int frames, void* data)
{
    auto* host = static_cast<Host*>(data);
    host->offset = frames;
    host->done = done;
}

Host& host()
{
    static Host instance;
    return instance;
}

// The blocks one bounce processes, measured once.
struct Blocks {
    unsigned roll = 0;    // 512-frame blocks before and after
    unsigned capture = 0; // 256-frame blocks
    unsigned captured = 0;
};

Blocks& blocks()
{
    static Blocks measured = [] {
        const VTBounceResult result = host().bounce();
        // The capture runs through the block that reports the end.
        return Blocks{result.preRollBlocks, result.capturedFrames / 256 + (result.capturedFrames % 256 != 0 ? 1 : 0),
                      result.capturedFrames};
    }();
    return measured;
}

void BM_Bounce(benchmark::State& state)
{
    Host& h = host();
    const Blocks& b = blocks();
    if (h.lib.m_plugin == nullptr || b.captured == 0) {
        state.SkipWithError("the Kindra bundle did not load or never ended");
        return;
    }
    for (auto _ : state) {
        const VTBounceResult result = h.bounce();
        benchmark::DoNotOptimize(result.capturedFrames);
    }
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(b.captured) / kRate, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PluginAlone(benchmark::State& state)
{
    Host& h = host();
    const Blocks& b = blocks();
    AEffect* plugin = h.lib.m_plugin;
    if (plugin == nullptr || b.captured == 0) {
        state.SkipWithError("the Kindra bundle did not load or never ended");
        return;
    }
    std::vector<float> left(512, 0.0f), right(512, 0.0f);
    float* pair[2] = {left.data(), right.data()};
    float* channels[2] = {left.data(), right.data()};
    for (auto _ : state) {
        plugin->setParameter(plugin, 82, 0.0f);
        for (unsigned i = 0; i < b.roll; ++i)
            plugin->processReplacing(plugin, channels, pair, 512);
        plugin->setParameter(plugin, 82, 1.0f);
        for (unsigned i = 0; i < b.capture; ++i)
            plugin->processReplacing(plugin, channels, pair, 256);
        plugin->setParameter(plugin, 82, 0.0f);
        for (unsigned i = 0; i < b.roll; ++i)
            plugin->processReplacing(plugin, channels, pair, 512);
        benchmark::DoNotOptimize(left.data());
    }
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(b.captured) / kRate, benchmark::Counter::kIsIterationInvariantRate);
}

// What the writer alone costs for the same capture: 256-frame appends,
// each converted, written and flushed, and the header rewritten.
void BM_WriterAlone(benchmark::State& state)
{
    const Blocks& b = blocks();
    std::vector<float> left(256, 0.25f), right(256, -0.25f);
    float* pair[2] = {left.data(), right.data()};
    const std::string path = host().folder.file("Writer.wav");
    for (auto _ : state) {
        VTAudioFileWAV writer;
        writer.writeFile(path.c_str(), 0, static_cast<unsigned>(kRate), 9);
        for (unsigned i = 0; i < b.capture; ++i)
            writer.setData(pair, 256, false);
        writer.writeHeader(b.captured, static_cast<unsigned>(kRate), 9);
        writer.closeFile();
    }
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(b.captured) / kRate, benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(BM_WriterAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PluginAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bounce)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
