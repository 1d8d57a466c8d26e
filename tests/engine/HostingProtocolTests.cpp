// The engine drives the plug-in by the VST 2 life cycle on running virtual
// devices: a plug-in of the open frameworks works through start, cycles
// with MIDI, restart and shut-down; the plug-in hears the chosen input;
// blocks never exceed the size it was told; its transport button is
// carried out by the cycle.
#include "EngineRig.h"

#include <memory>
#include <ostream>

using enginetest::EngineRig;
using enginetest::RigOptions;

namespace {

using Channels = std::vector<std::vector<float>>;

// A ramp per channel that tells every channel and frame apart.
Channels ramps(size_t channels, unsigned frames)
{
    Channels signal(channels, std::vector<float>(frames));
    for (size_t c = 0; c < channels; ++c)
        for (unsigned i = 0; i < frames; ++i)
            signal[c][i] = 0.1f * static_cast<float>(c + 1) + 0.0001f * static_cast<float>(i);
    return signal;
}

vt::testing::VirtualAudioDeviceSpec device(const std::string& name, std::vector<UInt32> in, std::vector<UInt32> out,
                                           UInt32 bufferFrames = 256)
{
    vt::testing::VirtualAudioDeviceSpec spec;
    spec.name = name;
    spec.inputBuffers = std::move(in);
    spec.outputBuffers = std::move(out);
    spec.sampleRate = 48000;
    spec.bufferFrameSize = bufferFrames;
    return spec;
}

int processedFrames(probe::ProbeState& state, int* longest = nullptr)
{
    int total = 0;
    for (int i = 0; i < state.processes.size(); ++i) {
        total += state.processes.items[i].frames;
        if (longest != nullptr && state.processes.items[i].frames > *longest)
            *longest = state.processes.items[i].frames;
    }
    return total;
}

} // namespace

TEST(HostingProtocol, AFrameworkPlugInRunsThroughStartCyclesWithMidiRestartAndShutDown)
{
    EngineRig rig(
        RigOptions().plugInBundle("ProbeFramework").audioDevice(enginetest::duplexDevice("Interface", 48000, 256)));
    probe::ProbeState& plugin = rig.plugin();
    probe::ProbeState::CloseReport report;
    plugin.closeReport = &report;
    rig.registry.outputDevice = rig.audioEntry("Interface", false);
    rig.registry.inputDevice = rig.audioEntry("Interface", true);

    ASSERT_TRUE(rig.engine.startMidi()); // it answers effCanDo once opened
    ASSERT_TRUE(rig.engine.startAudio());
    EXPECT_TRUE(plugin.resumed);
    // Asked back on resume: what was sent, never 0.
    EXPECT_EQ(plugin.hostRateAnswer, 48000);
    EXPECT_EQ(plugin.hostBlockAnswer, 256);

    for (int cycle = 0; cycle < 3; ++cycle) {
        rig.engine.queueMidi(0x90, static_cast<uint8_t>(60 + cycle), 100);
        const Channels in = ramps(2, 256);
        const Channels out = rig.renderRunningStream(256, in);
        ASSERT_EQ(out.size(), 2u);
        EXPECT_EQ(out[0], in[0]);
        EXPECT_EQ(out[1], in[1]);
    }
    EXPECT_EQ(rig.receivedEvents(),
              (std::vector<std::vector<unsigned char>>{{0x90, 60, 100}, {0x90, 61, 100}, {0x90, 62, 100}}));
    // It read the time information on the audio thread.
    ASSERT_GT(plugin.processes.size(), 0);
    EXPECT_EQ(plugin.processes.items[0].tempo, 120.0);

    // A restart reconfigures a suspended plug-in, and resumes it once.
    ASSERT_TRUE(rig.engine.startAudio());
    EXPECT_TRUE(plugin.resumed);
    EXPECT_EQ(rig.renderRunningStream(256).size(), 2u);

    // Shut-down: audio stopped (suspend), then closed once.
    rig.engine.m_midiLib->m_coremidi.stop();
    rig.engine.stopAudio();
    EXPECT_FALSE(plugin.resumed);
    EXPECT_EQ(plugin.errors.size(), 0);
    rig.probe.lib.unloadPlugin();
    EXPECT_TRUE(report.closed);
    EXPECT_FALSE(report.wasResumed);
    EXPECT_EQ(report.errors, 0);
}

TEST(HostingProtocol, TheBlockSizeIsTheRunningDevicesAndLongerBuffersArriveInSlices)
{
    // The stored entry says 512; the device really runs 1024-frame buffers.
    EngineRig rig(
        RigOptions().plugInBundle("ProbeFramework").audioDevice(enginetest::duplexDevice("Interface", 48000, 1024)));
    probe::ProbeState& plugin = rig.plugin();
    rig.registry.outputDevice = rig.audioEntry("Interface", false);
    rig.registry.inputDevice = rig.audioEntry("Interface", true);
    rig.registry.outputDevice->bufferSize = 512;
    ASSERT_TRUE(rig.engine.startAudio());
    EXPECT_EQ(plugin.blockSize, 1024);

    // A buffer of 10000 frames: longer than the block size and than the
    // output unit's own buffers (4096), yet every frame is processed, in
    // parts of at most 1024, and nothing is muted.
    const Channels in = ramps(2, 10000);
    const Channels out = rig.renderRunningStream(10000, in);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], in[0]);
    EXPECT_EQ(out[1], in[1]);
    int longest = 0;
    EXPECT_EQ(processedFrames(plugin, &longest), 10000);
    EXPECT_EQ(longest, 1024);
    EXPECT_EQ(plugin.errors.size(), 0);
    rig.engine.stopAudio();
}

TEST(HostingProtocol, ThePlugInsTransportButtonIsCarriedOutByTheNextCycle)
{
    EngineRig rig(RigOptions().instrument().audioDevice(enginetest::duplexDevice("Interface", 48000, 256)));
    rig.registry.outputDevice = rig.audioEntry("Interface", false);
    ASSERT_TRUE(rig.engine.startAudio());
    rig.plugin().readTimeInfo = true;
    rig.renderRunningStream(256); // takes the start-up request
    rig.engine.m_audioPPQ = 5.0;

    EXPECT_EQ(rig.probe.callHost(audioMasterVTSetTransport, 1), 1);
    EXPECT_TRUE(rig.engine.m_playStatus);
    EXPECT_TRUE(rig.engine.m_playStatusChanged);
    rig.plugin().processes.clear();
    rig.renderRunningStream(256);
    ASSERT_EQ(rig.plugin().processes.size(), 1);
    // The cycle played and rewound: the plug-in read beat 0, playing.
    EXPECT_EQ(rig.plugin().processes.items[0].ppqPos, 0.0);
    EXPECT_NE(rig.plugin().processes.items[0].timeFlags & kVstTransportPlaying, 0);
    EXPECT_FALSE(rig.engine.m_playStatusChanged);
    rig.engine.stopAudio();
}

// The chosen input reaches the plug-in (a pass-through) whatever channels
// it shares with the output.
struct Routing {
    const char* name;
    bool monoMicrophone;         // input from a one-channel device on the aggregate
    uint32_t inLeft, inRight;    // the input entry's chosen channels
    int expectLeft, expectRight; // input channel heard on each side, -1 = silence, -2 = player
    bool player;
    bool playerWindowOpen;
};

void PrintTo(const Routing& routing, std::ostream* os)
{
    *os << routing.name;
}

class InputRouting : public testing::TestWithParam<Routing> {};

TEST_P(InputRouting, ThePlugInHearsTheChosenInput)
{
    const Routing routing = GetParam();
    RigOptions options;
    options.audioDevice(device("Interface", {4}, {4}));
    if (routing.monoMicrophone)
        options.audioDevice(device("Mic", {1}, {}));
    EngineRig rig(options);
    rig.registry.outputDevice = rig.audioEntry("Interface", false);
    VTAudioDevice* input = rig.audioEntry(routing.monoMicrophone ? "Mic" : "Interface", true);
    ASSERT_NE(input, nullptr);
    input->left = routing.inLeft;
    input->right = routing.inRight;
    rig.registry.inputDevice = input;
    ASSERT_TRUE(rig.engine.startAudio());

    constexpr unsigned kFrames = 256;
    if (routing.player) {
        // A constant 0.5 sample, longer than the buffer, playing.
        rig.engine.m_playFrames[0] = new float[1001];
        rig.engine.m_playFrames[1] = new float[1001];
        std::fill(rig.engine.m_playFrames[0], rig.engine.m_playFrames[0] + 1001, 0.5f);
        std::fill(rig.engine.m_playFrames[1], rig.engine.m_playFrames[1] + 1001, 0.5f);
        rig.engine.m_numPlayerFileFrames = 1000;
        rig.engine.m_counterInc = 1.0;
        rig.engine.m_playerPlayStatus = 1;
    }
    rig.engine.m_playerDialogOpen = routing.playerWindowOpen;

    const size_t inputs = rig.audioWorld.runningStream().inputChannels();
    const Channels in = ramps(inputs, kFrames);
    const Channels out = rig.renderRunningStream(kFrames, in);
    ASSERT_GE(out.size(), 2u);
    auto expected = [&](int source) {
        if (source == -1)
            return std::vector<float>(kFrames, 0.0f);
        if (source == -2)
            return std::vector<float>(kFrames, 0.5f);
        return in[static_cast<size_t>(source)];
    };
    EXPECT_EQ(out[0], expected(routing.expectLeft));
    EXPECT_EQ(out[1], expected(routing.expectRight));
    rig.engine.stopAudio();
}

// On the aggregate the microphone's one channel is channel 0, ahead of the
// interface's inputs.
INSTANTIATE_TEST_SUITE_P(Cases, InputRouting,
                         testing::Values(Routing{"Input3and4ToOutput1and2", false, 2, 3, 2, 3, false, false},
                                         Routing{"Input2and1Swapped", false, 1, 0, 1, 0, false, false},
                                         Routing{"SameChannelsAsTheOutput", false, 0, 1, 0, 1, false, false},
                                         Routing{"BothSidesFromOneChannel", false, 3, 3, 3, 3, false, false},
                                         Routing{"MonoMicrophoneOnBothSides", true, 0, 1, 0, 0, false, false},
                                         Routing{"PlayerWithAnInputChosen", false, 2, 3, -2, -2, true, false},
                                         Routing{"PlayerWindowOpenSilencesTheInput", false, 2, 3, -1, -1, false, true}),
                         [](const testing::TestParamInfo<Routing>& info) { return std::string(info.param.name); });

TEST(HostingProtocol, AnEngineThatEndsStopsItsStreamAndSuspendsThePlugIn)
{
    EngineRig rig(RigOptions().plugInBundle("ProbeFramework").audioDevice(enginetest::duplexDevice("Interface")));
    auto engine = std::make_unique<VTVSTHostInterface>();
    engine->m_vstLib = &rig.probe.lib;
    engine->m_audioLib = &rig.audio;
    engine->m_midiLib = &rig.midi;
    engine->m_registry = &rig.registry;
    rig.registry.outputDevice = rig.audioEntry("Interface", false);
    ASSERT_TRUE(engine->startAudio());
    ASSERT_TRUE(rig.audioWorld.runningStream().valid());
    engine.reset();
    // No stream is left calling into the engine that is gone.
    EXPECT_FALSE(rig.audioWorld.runningStream().valid());
    EXPECT_FALSE(rig.plugin().resumed);
    EXPECT_EQ(rig.plugin().errors.size(), 0);
}
