// The instrument's rendering speed: sixteen held voices at 48 kHz in
// 256-frame blocks, as times real time on one core ("x_realtime").
#include "KindraEffect.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

VstTimeInfo timeInfo()
{
    VstTimeInfo t{};
    t.sampleRate = 48000.0;
    t.tempo = 120.0;
    t.timeSigNumerator = 4;
    t.timeSigDenominator = 4;
    t.flags = kVstPpqPosValid | kVstTempoValid | kVstTransportPlaying;
    return t;
}

VstTimeInfo gTime = timeInfo();

// The little a host answers while the instrument renders.
VstIntPtr benchHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    if (opcode == audioMasterVersion)
        return 2400;
    if (opcode == audioMasterGetTime)
        return reinterpret_cast<VstIntPtr>(&gTime);
    return 0;
}

void holdSixteenNotes(AEffect* effect)
{
    std::vector<VstMidiEvent> notes(16);
    std::vector<char> storage(sizeof(VstEvents) + 16 * sizeof(VstEvent*));
    auto* list = reinterpret_cast<VstEvents*>(storage.data());
    list->numEvents = 16;
    for (int i = 0; i < 16; ++i) {
        notes[i] = VstMidiEvent{};
        notes[i].type = kVstMidiType;
        notes[i].byteSize = sizeof(VstMidiEvent);
        notes[i].midiData[0] = static_cast<char>(0x90);
        notes[i].midiData[1] = static_cast<char>(36 + 3 * i);
        notes[i].midiData[2] = 100;
        list->events[i] = reinterpret_cast<VstEvent*>(&notes[i]);
    }
    effect->dispatcher(effect, effProcessEvents, 0, 0, list, 0.0f);
}

void BM_SixteenHeldVoices(benchmark::State& state)
{
    constexpr int kFrames = 256;
    constexpr double kRate = 48000.0;
    auto* kindra = new KindraEffect(benchHost);
    AEffect* effect = kindra->effect();
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    effect->dispatcher(effect, effSetBlockSize, 0, kFrames, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    // Both oscillators detuned, resonant filter with its envelope: the
    // default sound, sustained so every voice works through the run.
    effect->setParameter(effect, kParamSustain, 1.0f);
    holdSixteenNotes(effect);

    std::vector<float> left(kFrames), right(kFrames);
    float* outputs[2] = {left.data(), right.data()};
    effect->processReplacing(effect, outputs, outputs, kFrames);
    if (kindra->synth().activeVoiceCount() != 16)
        state.SkipWithError("not all sixteen voices sound");

    for (auto _ : state) {
        effect->processReplacing(effect, outputs, outputs, kFrames);
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
        benchmark::ClobberMemory();
    }
    // Audio seconds rendered per second of work: times real time.
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kFrames / kRate, benchmark::Counter::kIsRate);
    state.SetItemsProcessed(state.iterations() * kFrames);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

BENCHMARK(BM_SixteenHeldVoices)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
