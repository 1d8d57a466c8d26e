// One audio cycle of the engine (16 MIDI events handed over, the player on)
// against calling the same plug-in's processReplacing directly, in the same
// run. The probe plug-in does a fixed amount of work per sample, so the
// difference is what the engine adds.
//   vtengine_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "ProbeHost.h"
#include "VTAudioLib.h"
#include "VTMidiLib.h"
#include "VTVSTHostInterface.h"
#include "VTVSTHostRegistry.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

namespace {

constexpr int kWorkPerSample = 24;
constexpr int kEventsPerCycle = 16;
constexpr unsigned kSampleFrames = 48000;

// The engine wired as the main window wires it; the cycle is called the way
// the audio layer calls it.
struct Host {
    Host()
    {
        probe.state().workPerSample = kWorkPerSample;
        probe.effect()->flags |= effFlagsIsSynth;
        output.type = 16;
        output.sampleRate = 48000;
        registry.outputDevice = &output;
        engine.m_vstLib = &probe.lib;
        engine.m_audioLib = &audio;
        engine.m_midiLib = &midi;
        engine.m_registry = &registry;
        engine.m_playStatusChanged = false;
        // A looped sample at 44.1 kHz played at 48 kHz: interpolation on.
        engine.m_playFrames[0] = new float[kSampleFrames + 1];
        engine.m_playFrames[1] = new float[kSampleFrames + 1];
        for (unsigned i = 0; i <= kSampleFrames; ++i)
            engine.m_playFrames[0][i] = engine.m_playFrames[1][i] = 0.001f * static_cast<float>(i % 1000);
        engine.m_numPlayerFileFrames = kSampleFrames;
        engine.m_counterInc = 44100.0 / 48000.0;
        engine.m_playerPlayLooped = true;
        engine.m_playerPlayStatus = 1;
    }

    probe::LoadedProbe probe;
    VTAudioLib audio;
    VTMidiLib midi;
    VTVSTHostRegistry registry{"Probe", true};
    VTAudioDevice output;
    VTVSTHostInterface engine;
};

Host& host()
{
    static Host shared;
    return shared;
}

void BM_EngineCycle(benchmark::State& state)
{
    const auto frames = static_cast<unsigned>(state.range(0));
    Host& h = host();
    std::vector<float> left(frames), right(frames);
    float* out[2] = {left.data(), right.data()};
    float* in[2] = {nullptr, nullptr};
    for (auto _ : state) {
        // The MIDI thread's part is not the cycle's: queue outside the clock.
        for (int i = 0; i < kEventsPerCycle; ++i)
            h.engine.queueMidi(0x90, static_cast<uint8_t>(48 + i), 100);
        auto start = std::chrono::steady_clock::now();
        VTVSTHostInterface::audiocallback(in, out, frames, &h.engine);
        auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    benchmark::DoNotOptimize(left.data());
}

void BM_PlugInDirect(benchmark::State& state)
{
    const auto frames = static_cast<int>(state.range(0));
    Host& h = host();
    AEffect* plugin = h.probe.effect();
    std::vector<float> left(static_cast<size_t>(frames), 0.1f), right(static_cast<size_t>(frames), 0.1f);
    float* channels[2] = {left.data(), right.data()};
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        plugin->processReplacing(plugin, channels, channels, frames);
        auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    benchmark::DoNotOptimize(left.data());
}

} // namespace

BENCHMARK(BM_EngineCycle)->Arg(64)->Arg(512)->UseManualTime();
BENCHMARK(BM_PlugInDirect)->Arg(64)->Arg(512)->UseManualTime();

BENCHMARK_MAIN();
