// Cost of one audio buffer through the output unit and the layer's render
// callback (channel picks, input pull, zero fill), without the engine's
// own work, for the three ways a stream runs.
#include "VTCoreAudio.h"
#include "VTVirtualAudio.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

bool silentEngine(float**, float** out, uint32_t frames, void*)
{
    for (uint32_t i = 0; i < frames; ++i)
        out[0][i] = out[1][i] = 0.0f;
    return true;
}

enum Layout { OutputOnly, SharedDevice, Aggregate };

void renderBuffer(benchmark::State& state)
{
    const auto layout = static_cast<Layout>(state.range(0));
    const auto frames = static_cast<UInt32>(state.range(1));
    vt::testing::VirtualAudioWorld world;
    vt::testing::VirtualAudioDeviceSpec duplex;
    duplex.name = "Duplex";
    duplex.inputBuffers = {8};
    duplex.outputBuffers = {8};
    duplex.bufferFrameSize = frames;
    vt::testing::VirtualAudioDeviceSpec speakers;
    speakers.name = "Speakers";
    speakers.outputBuffers = {2};
    speakers.bufferFrameSize = frames;
    AudioObjectID duplexID = world.addDevice(duplex);
    AudioObjectID speakersID = world.addDevice(speakers);

    VTCoreAudio audio;
    VTAudioDevice* in = nullptr;
    VTAudioDevice* out = nullptr;
    for (VTAudioDevice* device : audio.m_devices) {
        if (device->id == duplexID && device->isInput && layout != OutputOnly)
            in = device;
        if (!device->isInput && device->id == (layout == Aggregate ? speakersID : duplexID))
            out = device;
    }
    if (!audio.start(in, out, reinterpret_cast<void*>(&silentEngine), nullptr)) {
        state.SkipWithError("the stream did not start");
        return;
    }
    vt::testing::VirtualAudioStream stream = world.runningStream();
    std::vector<std::vector<float>> input(stream.inputChannels(), std::vector<float>(frames, 0.5f));
    std::vector<std::vector<float>> output(stream.outputChannels(), std::vector<float>(frames));
    std::vector<const float*> inputs;
    std::vector<float*> outputs;
    for (auto& channel : input)
        inputs.push_back(channel.data());
    for (auto& channel : output)
        outputs.push_back(channel.data());

    for (auto _ : state) {
        OSStatus status = stream.render(frames, inputs.data(), outputs.data());
        benchmark::DoNotOptimize(status);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * frames);
    audio.stop();
}

} // namespace

BENCHMARK(renderBuffer)
    ->ArgNames({"layout", "frames"})
    ->ArgsProduct({{OutputOnly, SharedDevice, Aggregate}, {64, 512}});

BENCHMARK_MAIN();
