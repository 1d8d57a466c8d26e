// The render path on the audio thread: no allocation, and the paced
// threads that drive devices without a manual drive.
#include "AudioTestSupport.h"
#include "VTRealtimeCheck.h"

#include <gtest/gtest.h>

#include <ostream>

#include <atomic>
#include <chrono>

using namespace vt::testing;

namespace {

// Runs the main run loop in short slices until `done` holds; the limit
// only keeps a broken build from hanging, it is no timing bound.
template <typename Condition> bool waitFor(Condition done)
{
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.005, false);
    }
    return true;
}

struct CountingEngine {
    std::atomic<int> calls{0};
    std::atomic<bool> sawInput{false};
    static bool cycle(float** in, float** out, uint32_t frames, void* userData)
    {
        auto* engine = static_cast<CountingEngine*>(userData);
        if (in[0] != nullptr && in[1] != nullptr)
            engine->sawInput.store(true);
        for (uint32_t i = 0; i < frames; ++i)
            out[0][i] = out[1][i] = 0.0f;
        engine->calls.fetch_add(1);
        return true;
    }
};

struct RealtimeCase {
    const char* name;
    bool separateDevices;
    bool withInput;
};

void PrintTo(const RealtimeCase& value, std::ostream* os)
{
    *os << value.name;
}

class AudioRenderPath : public ::testing::TestWithParam<RealtimeCase> {};

} // namespace

TEST_P(AudioRenderPath, ACycleAllocatesNothingOnTheAudioThread)
{
    VirtualAudioWorld world;
    AudioObjectID duplex = world.addDevice(deviceSpec("Duplex", {4}, {4}));
    AudioObjectID speakers = world.addDevice(deviceSpec("Speakers", {}, {2}));
    VTCoreAudio audio;
    VTAudioDevice* in = GetParam().withInput ? entryOf(audio, duplex, true) : nullptr;
    VTAudioDevice* out = entryOf(audio, GetParam().separateDevices ? speakers : duplex, false);
    EngineProbe engine;
    ASSERT_TRUE(audio.start(in, out, engine.callback(), &engine));
    VirtualAudioStream stream = world.runningStream();
    Cycle cycle(stream.inputChannels(), stream.outputChannels(), 512);

    resetRealtimeAllocations();
    OSStatus status = noErr;
    for (int i = 0; i < 8 && status == noErr; ++i) {
        RealtimeScope audioThread;
        status = cycle.render(stream);
    }
    EXPECT_EQ(status, noErr);
    EXPECT_EQ(engine.calls, 8);
    EXPECT_EQ(realtimeAllocationCount(), 0u) << "first allocation: " << firstRealtimeAllocationSize() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Streams, AudioRenderPath,
                         ::testing::Values(RealtimeCase{"OutputOnly", false, false},
                                           RealtimeCase{"SharedDevice", false, true},
                                           RealtimeCase{"Aggregate", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AudioRenderPath, TheNullDeviceRunsTheEngineFromItsOwnThread)
{
    VirtualAudioWorld world;
    VTCoreAudio audio;
    ASSERT_EQ(audio.m_devices.size(), 2u);
    CountingEngine engine;
    ASSERT_TRUE(
        audio.start(audio.m_devices[0], audio.m_devices[1], reinterpret_cast<void*>(&CountingEngine::cycle), &engine));
    EXPECT_TRUE(world.aggregates().empty());
    ASSERT_TRUE(waitFor([&] { return engine.calls.load() >= 3 && world.nullDeviceCycles() >= 3; }));
    EXPECT_TRUE(engine.sawInput.load());

    audio.stop();
    // Once stop has returned no cycle runs any more.
    int after = engine.calls.load();
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, false);
    EXPECT_EQ(engine.calls.load(), after);
}

TEST(AudioRenderPath, APacedVirtualDeviceRunsTheEngineUntilStop)
{
    VirtualAudioWorld world;
    VirtualAudioDeviceSpec spec = deviceSpec("Paced", {}, {2});
    spec.bufferFrameSize = 64;
    AudioObjectID id = world.addDevice(spec);
    world.setPaced(true);
    VTCoreAudio audio;
    CountingEngine engine;
    ASSERT_TRUE(
        audio.start(nullptr, entryOf(audio, id, false), reinterpret_cast<void*>(&CountingEngine::cycle), &engine));
    ASSERT_TRUE(waitFor([&] { return engine.calls.load() >= 5 && world.pacedCycles(id) >= 5; }));
    audio.stop();
    int after = engine.calls.load();
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.02, false);
    EXPECT_EQ(engine.calls.load(), after);
}
