// Kindra on a JACK server, end to end: the MIDI endpoints of other clients,
// a note from a client of the test's own through the engine into the
// Kindra plug-in, and the plug-in's sound captured from Kindra's ports.
#include "JackTestSupport.h"

#include "VTAudioLib.h"
#include "VTMidiLib.h"
#include "VTVSTHostInterface.h"
#include "VTVSTHostLib.h"
#include "VTVSTHostRegistry.h"
#include "VTVSTInterface.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace jacktest;

VTMidiDevice* midiEntry(VTCoreMidi& midi, const std::string& name, bool in)
{
    for (VTMidiDevice* device : midi.m_devices)
        if (device->name == name && device->in == in)
            return device;
    return nullptr;
}

TEST(JackMidi, otherClientsPortsAreListedOnceAndCarryMessagesBothWays)
{
    PrivateServer server;
    ASSERT_TRUE(server.up());
    TestClient keys("keys");
    ASSERT_TRUE(keys.ok());
    keys.addMidiOut("out");
    keys.addMidiIn("in");
    ASSERT_TRUE(keys.activate());

    VTCoreMidi midi;
    VTMidiDevice* source = midiEntry(midi, "keys:out", true);
    VTMidiDevice* destination = midiEntry(midi, "keys:in", false);
    ASSERT_NE(source, nullptr);
    ASSERT_NE(destination, nullptr);
    // Our own client's ports are never listed.
    for (VTMidiDevice* device : midi.m_devices)
        EXPECT_EQ(device->name.rfind("Veltrane MIDI:", 0), std::string::npos) << device->name;

    // ---- input: one port of ours per opened source, connected to it
    struct Heard {
        std::atomic<int> count{0};
        std::atomic<int> status{0}, data1{0}, data2{0};
    } heard;
    auto onMessage = [](VTMidiMsg* message, void* data) {
        auto* h = static_cast<Heard*>(data);
        h->status.store(message->status);
        h->data1.store(message->data1);
        h->data2.store(message->data2);
        h->count.fetch_add(1);
    };
    ASSERT_TRUE(midi.start(source, nullptr, reinterpret_cast<void*>(+onMessage), &heard));
    EXPECT_EQ(connections(keys.client(), "Veltrane MIDI:Veltrane MidiInput"), std::vector<std::string>{"keys:out"});
    keys.sendMidi(0x91, 60, 99);
    ASSERT_TRUE(waitFor([&] { return heard.count.load() == 1; }));
    EXPECT_EQ(heard.status.load(), 0x91);
    EXPECT_EQ(heard.data1.load(), 60);
    EXPECT_EQ(heard.data2.load(), 99);

    // ---- output: "Veltrane MidiOutput" reaches the chosen destination
    ASSERT_TRUE(midi.start(nullptr, destination, nullptr, nullptr));
    VstMidiEvent event{};
    event.type = kVstMidiType;
    event.byteSize = sizeof event;
    event.midiData[0] = static_cast<char>(0x80);
    event.midiData[1] = 64;
    event.midiData[2] = 0;
    midi.sendMessage(&event);
    ASSERT_TRUE(waitFor([&] { return keys.received().size() == 3; }));
    EXPECT_EQ(keys.received(), (std::vector<unsigned char>{0x80, 64, 0}));
    EXPECT_EQ(connections(keys.client(), "Veltrane MIDI:Veltrane MidiOutput"), std::vector<std::string>{"keys:in"});

    midi.stop();
    EXPECT_FALSE(portExists(keys.client(), "Veltrane MIDI:Veltrane MidiInput"));
    EXPECT_FALSE(portExists(keys.client(), "Veltrane MIDI:Veltrane MidiOutput"));
}

TEST(JackEndToEnd, aNoteSentFromAnotherClientSoundsAtItsPitchOnKindrasOutput)
{
    PrivateServer server(256);
    ASSERT_TRUE(server.up());
    TestClient keys("keys");
    ASSERT_TRUE(keys.ok());
    keys.addMidiOut("out");
    keys.addCapture("hear");
    ASSERT_TRUE(keys.activate());

    // ---- wired as the main window wires it
    unsetenv("DISPLAY");
    VTVSTHostLib lib;
    ASSERT_TRUE(lib.loadPlugin(KINDRA_PLUGIN_BUNDLE, nullptr, nullptr, 0, false));
    VTAudioLib audio;
    VTMidiLib midi;
    VTVSTHostRegistry registry{"Kindra", true};
    VTVSTHostInterface engine;
    engine.m_vstLib = &lib;
    engine.m_audioLib = &audio;
    engine.m_midiLib = &midi;
    engine.m_registry = &registry;
    for (VTAudioDevice* device : audio.devices())
        if (device->name == "system" && !device->isInput)
            registry.outputDevice = device;
    ASSERT_NE(registry.outputDevice, nullptr);
    registry.mergeMidiDevices(midi.m_coremidi.m_devices);
    ASSERT_NE(midiEntry(midi.m_coremidi, "keys:out", true), nullptr);
    ASSERT_TRUE(engine.startAudio());
    ASSERT_TRUE(engine.startMidi());
    ASSERT_EQ(jack_connect(keys.client(), "Kindra:out_1", (keys.name() + ":hear").c_str()), 0);

    // ---- A4 (note 69): 440 Hz
    keys.takeCaptured();
    keys.sendMidi(0x90, 69, 110);
    const double rate = registry.outputDevice->sampleRate;
    std::vector<float> sound;
    ASSERT_TRUE(waitFor([&] {
        for (float sample : keys.takeCaptured())
            if (!sound.empty() || std::fabs(sample) > 1e-4f)
                sound.push_back(sample);
        return sound.size() > static_cast<size_t>(rate * 0.5);
    }));
    // Past the attack, a quarter of a second of the held note.
    std::vector<float> held(sound.begin() + static_cast<long>(rate * 0.2),
                            sound.begin() + static_cast<long>(rate * 0.45));
    EXPECT_NEAR(frequencyOf(held, rate), 440.0, 440.0 * 0.02);

    keys.sendMidi(0x80, 69, 0);
    engine.stopAudio();
    lib.unloadPlugin();
}

} // namespace
