// The JACK provider behind the audio layer: the server's port groups as
// devices, the stream client, the aggregate of two groups, a server that
// goes away, a period that changes, and the readout.
#include "JackTestSupport.h"
#include "KindraOnJack.h"

#include "VTAudioLib.h"
#include "VTCoreAudio.h"
#include "VTMidiLib.h"
#include "VTVSTHostInterface.h"
#include "VTVSTHostLib.h"
#include "VTVSTHostRegistry.h"
#include "VTVSTInterface.h"

#include <vtplatform/AudioServer.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace jacktest;

// What the audio layer's callback saw; written on the process thread.
struct Cycles {
    std::atomic<uint64_t> count{0};
    std::atomic<uint32_t> largest{0};
    std::atomic<float> firstInput{0};
    float value = 0.25f; // written to the left output, -value to the right
};

bool recordCycle(float** in, float** out, uint32_t frames, void* data)
{
    auto* cycles = static_cast<Cycles*>(data);
    if (in[0] != nullptr)
        cycles->firstInput.store(in[0][0]);
    for (uint32_t i = 0; i < frames; ++i) {
        out[0][i] = cycles->value;
        out[1][i] = -cycles->value;
    }
    if (frames > cycles->largest.load())
        cycles->largest.store(frames);
    cycles->count.fetch_add(1);
    return true;
}

VTAudioDevice* entry(VTCoreAudio& audio, const std::string& name, bool input)
{
    for (VTAudioDevice* device : audio.m_devices)
        if (device->name == name && device->isInput == input)
            return device;
    return nullptr;
}

void* callback()
{
    return reinterpret_cast<void*>(&recordCycle);
}

TEST(JackDevices, theServersPortGroupIsListedInBothDirectionsWithTheServersRateAndPeriod)
{
    // The run's server (jackd -d dummy, started by the test run) must answer.
    jack_client_t* probe = openOn(ciServerName(), "kindra-probe");
    ASSERT_NE(probe, nullptr) << "no JACK server \"" << ciServerName() << "\" answers";
    const double rate = jack_get_sample_rate(probe);
    const uint32_t period = jack_get_buffer_size(probe);
    const size_t captures = [&] {
        const char** ports = jack_get_ports(probe, "^system:capture_", JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical);
        size_t n = 0;
        while (ports != nullptr && ports[n] != nullptr)
            ++n;
        jack_free(ports);
        return n;
    }();
    jack_client_close(probe);

    VTCoreAudio audio;
    VTAudioDevice* in = entry(audio, "system", true);
    VTAudioDevice* out = entry(audio, "system", false);
    ASSERT_NE(in, nullptr);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(in->channels, captures);
    EXPECT_EQ(in->type, 16u);
    EXPECT_EQ(out->type, 16u);
    EXPECT_TRUE(in->isDefault);
    EXPECT_TRUE(out->isDefault);
    EXPECT_EQ(out->sampleRate, rate);
    EXPECT_EQ(out->bufferSize, period);
    EXPECT_EQ(entry(audio, "Null Audio Device", false), nullptr); // a server answers: no fallback

    vt::platform::AudioServerReadout readout = vt::platform::audioServerReadout();
    EXPECT_TRUE(readout.serverRunning);
    EXPECT_FALSE(readout.streamRunning);
    EXPECT_EQ(readout.sampleRate, rate);
    EXPECT_EQ(readout.blockSize, period);
    EXPECT_DOUBLE_EQ(readout.latencyMs, 1000.0 * period / rate);
}

TEST(JackDevices, withoutAServerTheNullDeviceServesAndTheReadoutHoldsTheDefaults)
{
    setenv("JACK_DEFAULT_SERVER", "kindra-test-no-such-server", 1);
    VTCoreAudio audio;
    EXPECT_NE(entry(audio, "Null Audio Device", false), nullptr);
    EXPECT_EQ(entry(audio, "system", false), nullptr);
    vt::platform::AudioServerReadout readout = vt::platform::audioServerReadout();
    EXPECT_FALSE(readout.serverRunning);
    EXPECT_EQ(readout.sampleRate, 0.0);
    EXPECT_EQ(readout.blockSize, 0u);
    EXPECT_EQ(readout.xruns, 0u);
}

TEST(JackStream, aStreamConnectsOnePortPerChannelPlaysTheEnginesOutputAndLeavesNothingBehind)
{
    PrivateServer server;
    ASSERT_TRUE(server.up());
    TestClient listener("listener");
    ASSERT_TRUE(listener.ok());
    listener.addCapture("hear");
    ASSERT_TRUE(listener.activate());

    VTCoreAudio audio;
    VTAudioDevice* in = entry(audio, "system", true);
    VTAudioDevice* out = entry(audio, "system", false);
    ASSERT_NE(out, nullptr);
    ASSERT_NE(in, nullptr);
    Cycles cycles;
    ASSERT_TRUE(audio.start(in, out, callback(), &cycles));
    jack_client_t* c = listener.client();
    // ---- the client "Kindra": in_N from capture_N, out_N to playback_N
    for (unsigned i = 1; i <= in->channels; ++i)
        EXPECT_TRUE(connectedTo(c, "Kindra:in_" + std::to_string(i),
                                std::vector<std::string>{"system:capture_" + std::to_string(i)}));
    for (unsigned i = 1; i <= out->channels; ++i)
        EXPECT_TRUE(connectedTo(c, "Kindra:out_" + std::to_string(i),
                                std::vector<std::string>{"system:playback_" + std::to_string(i)}));
    ASSERT_EQ(jack_connect(c, "Kindra:out_1", (listener.name() + ":hear").c_str()), 0);
    ASSERT_TRUE(waitFor([&] {
        std::vector<float> heard = listener.takeCaptured();
        return !heard.empty() && heard.back() == 0.25f;
    }));
    EXPECT_TRUE(vt::platform::audioServerReadout().streamRunning);

    // ---- stop returns after the last callback; the ports are gone
    audio.stop();
    uint64_t after = cycles.count.load();
    uint64_t listenerCycles = listener.cycles();
    ASSERT_TRUE(waitFor([&] { return listener.cycles() > listenerCycles + 4; }));
    EXPECT_EQ(cycles.count.load(), after);
    EXPECT_TRUE(goneSoon(c, "Kindra:out_1"));
    EXPECT_TRUE(goneSoon(c, "Kindra:in_1"));
    EXPECT_FALSE(vt::platform::audioServerReadout().streamRunning);

    // ---- and it starts again
    ASSERT_TRUE(audio.start(nullptr, out, callback(), &cycles));
    EXPECT_TRUE(goneSoon(c, "Kindra:in_1")); // no input device: no input ports
    ASSERT_TRUE(waitFor([&] { return cycles.count.load() > after + 4; }));
    audio.stop();
}

TEST(JackStream, theDeviceChosenByItsStoredNameRuns)
{
    PrivateServer server;
    ASSERT_TRUE(server.up());
    // A group of the test's own, listed after "system".
    TestClient second("second", JackPortIsPhysical | JackPortIsTerminal);
    ASSERT_TRUE(second.ok());
    second.addSink("playback_1");
    second.addSink("playback_2");
    ASSERT_TRUE(second.activate());

    VTCoreAudio audio;
    VTAudioDevice* stored = nullptr;
    for (VTAudioDevice* device : audio.m_devices)
        if (device->name == "second" && !device->isInput)
            stored = device;
    ASSERT_NE(stored, nullptr);
    EXPECT_FALSE(stored->isDefault); // the first group is the default
    Cycles cycles;
    ASSERT_TRUE(audio.start(nullptr, stored, callback(), &cycles));
    EXPECT_TRUE(connectedTo(second.client(), "Kindra:out_1", std::vector<std::string>{"second:playback_1"}));
    ASSERT_TRUE(waitFor([&] { return cycles.count.load() > 4; }));
    audio.stop();
}

TEST(JackAggregate, twoGroupsRunAsTheInputsCapturePortsAndTheOutputsPlaybackPorts)
{
    PrivateServer server;
    ASSERT_TRUE(server.up());
    // The input device: a group whose capture port plays 0.5.
    TestClient second("second", JackPortIsPhysical | JackPortIsTerminal);
    ASSERT_TRUE(second.ok());
    second.addSource("capture_1", 0.5f);
    second.addSource("capture_2", 0.5f);
    ASSERT_TRUE(second.activate());
    TestClient listener("listener");
    listener.addCapture("hear");
    ASSERT_TRUE(listener.activate());

    VTCoreAudio audio;
    VTAudioDevice* in = entry(audio, "second", true);
    VTAudioDevice* out = entry(audio, "system", false);
    ASSERT_NE(in, nullptr);
    ASSERT_NE(out, nullptr);
    Cycles cycles;
    ASSERT_TRUE(audio.start(in, out, callback(), &cycles));
    jack_client_t* c = listener.client();
    EXPECT_TRUE(connectedTo(c, "Kindra:in_1", std::vector<std::string>{"second:capture_1"}));
    EXPECT_TRUE(goneSoon(c, "Kindra:in_3")); // only the input device's captures
    // Output channel 0 is the output device's first playback port.
    EXPECT_TRUE(connectedTo(c, "Kindra:out_1", std::vector<std::string>{"system:playback_1"}));
    ASSERT_EQ(jack_connect(c, "Kindra:out_1", (listener.name() + ":hear").c_str()), 0);
    ASSERT_TRUE(waitFor([&] { return cycles.firstInput.load() == 0.5f; }));
    ASSERT_TRUE(waitFor([&] {
        std::vector<float> heard = listener.takeCaptured();
        return !heard.empty() && heard.back() == 0.25f;
    }));
    audio.stop();
    // The aggregate is gone with the stream: the next one builds it anew.
    ASSERT_TRUE(audio.start(in, out, callback(), &cycles));
    audio.stop();
    EXPECT_TRUE(goneSoon(c, "Kindra:out_1"));
}

TEST(JackServerLoss, aServerKilledMidStreamStopsTheStreamAndTheNextStartFails)
{
    auto server = std::make_unique<PrivateServer>();
    ASSERT_TRUE(server->up());
    VTCoreAudio audio;
    VTAudioDevice* out = entry(audio, "system", false);
    ASSERT_NE(out, nullptr);
    Cycles cycles;
    ASSERT_TRUE(audio.start(nullptr, out, callback(), &cycles));
    ASSERT_TRUE(waitFor([&] { return cycles.count.load() > 4; }));

    server->kill();
    ASSERT_TRUE(waitFor([] { return !vt::platform::audioServerReadout().serverRunning; }));
    uint64_t after = cycles.count.load();
    audio.stop();
    EXPECT_FALSE(audio.start(nullptr, out, callback(), &cycles));
    EXPECT_FALSE(audio.m_running);
    EXPECT_EQ(cycles.count.load(), after);
    audio.stop(); // harmless
}

// The engine's cycle, with the frames it is handed recorded.
struct EngineCycles {
    VTVSTHostInterface* engine = nullptr;
    std::atomic<uint64_t> count{0};
    std::atomic<uint32_t> largest{0};
};

bool recordEngineCycle(float** in, float** out, uint32_t frames, void* data)
{
    auto* cycles = static_cast<EngineCycles*>(data);
    if (frames > cycles->largest.load())
        cycles->largest.store(frames);
    cycles->count.fetch_add(1);
    return VTVSTHostInterface::audiocallback(in, out, frames, cycles->engine);
}

TEST(JackPeriod, aPeriodChangedMidStreamNeverReachesTheEngineAsALargerCycle)
{
    PrivateServer server(256);
    ASSERT_TRUE(server.up());
    TestClient control("control");
    ASSERT_TRUE(control.ok());
    ASSERT_TRUE(control.activate());

    // ---- the engine tells the Kindra plug-in the device's period
    KindraOnJack kindra;
    ASSERT_TRUE(kindra.loaded);
    VTAudioLib& audio = kindra.audio;
    VTVSTHostRegistry& registry = kindra.registry;
    VTVSTHostInterface& engine = kindra.engine;
    ASSERT_NE(registry.outputDevice, nullptr);
    ASSERT_EQ(registry.outputDevice->bufferSize, 256u);
    ASSERT_TRUE(engine.startAudio());
    // The same stream, its cycles counted on their way to the engine.
    EngineCycles cycles;
    cycles.engine = &engine;
    audio.m_coreaudio.stop();
    ASSERT_TRUE(
        audio.m_coreaudio.start(nullptr, registry.outputDevice, reinterpret_cast<void*>(&recordEngineCycle), &cycles));
    ASSERT_TRUE(waitFor([&] { return cycles.count.load() > 4; }));

    ASSERT_EQ(jack_set_buffer_size(control.client(), 1024), 0);
    ASSERT_TRUE(waitFor([] { return vt::platform::audioServerReadout().blockSize == 1024; }));
    uint64_t at = cycles.count.load();
    // 1024 frames arrive as slices of at most 256: four engine cycles each.
    ASSERT_TRUE(waitFor([&] { return cycles.count.load() > at + 16; }));
    EXPECT_LE(cycles.largest.load(), 256u);
    audio.m_coreaudio.stop();
    engine.stopAudio();
    kindra.lib.unloadPlugin();
}

} // namespace
