// Kindra on a JACK server, end to end: the MIDI endpoints of other clients,
// a note from a client of the test's own through the engine into the
// Kindra plug-in, and the plug-in's sound captured from Kindra's ports.
#include "JackTestSupport.h"
#include "KindraOnJack.h"

#include "VTAudioLib.h"
#include "VTMidiLib.h"
#include "VTVSTHostInterface.h"
#include "VTVSTHostLib.h"
#include "VTVSTHostRegistry.h"
#include "VTVSTInterface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

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
    EXPECT_TRUE(connectedTo(keys.client(), "Veltrane MIDI:Veltrane MidiInput", std::vector<std::string>{"keys:out"}));
    ASSERT_TRUE(sentAndHeard(
        keys, [&] { keys.sendMidi(0x91, 60, 99); }, [&] { return heard.count.load() == 1; }));
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
    ASSERT_TRUE(sentAndHeard(
        keys, [&] { midi.sendMessage(&event); }, [&] { return keys.received().size() == 3; }));
    EXPECT_EQ(keys.received(), (std::vector<unsigned char>{0x80, 64, 0}));
    EXPECT_TRUE(connectedTo(keys.client(), "Veltrane MIDI:Veltrane MidiOutput", std::vector<std::string>{"keys:in"}));

    midi.stop();
    EXPECT_TRUE(goneSoon(keys.client(), "Veltrane MIDI:Veltrane MidiInput"));
    EXPECT_TRUE(goneSoon(keys.client(), "Veltrane MIDI:Veltrane MidiOutput"));
}

TEST(JackMidi, aPortThatGoesAwayKeepsItsIndexAndDeliversNothing)
{
    PrivateServer server;
    ASSERT_TRUE(server.up());
    TestClient keys("keys");
    ASSERT_TRUE(keys.ok());
    keys.addMidiOut("out");
    ASSERT_TRUE(keys.activate());
    auto gone = std::make_unique<TestClient>("gone");
    gone->addMidiOut("out");
    ASSERT_TRUE(gone->activate());

    auto indexOf = [](VTCoreMidi& midi, const std::string& name) {
        VTMidiDevice* device = midiEntry(midi, name, true);
        return device != nullptr ? static_cast<int>(device->index) : -1;
    };
    int keysIndex, goneIndex;
    {
        VTCoreMidi first;
        keysIndex = indexOf(first, "keys:out");
        goneIndex = indexOf(first, "gone:out");
        ASSERT_GE(keysIndex, 0);
        ASSERT_GE(goneIndex, 0);
    }
    gone.reset();
    TestClient later("later");
    later.addMidiOut("out");
    ASSERT_TRUE(later.activate());

    // ---- the lists are taken anew, but every index names the same port
    VTCoreMidi midi;
    EXPECT_EQ(indexOf(midi, "keys:out"), keysIndex);
    EXPECT_EQ(indexOf(midi, "gone:out"), goneIndex);
    EXPECT_GT(indexOf(midi, "later:out"), std::max(keysIndex, goneIndex));

    std::atomic<int> count{0};
    auto onMessage = [](VTMidiMsg*, void* data) { static_cast<std::atomic<int>*>(data)->fetch_add(1); };
    ASSERT_TRUE(midi.start(midiEntry(midi, "gone:out", true), nullptr, reinterpret_cast<void*>(+onMessage), &count));
    ASSERT_TRUE(midi.start(midiEntry(midi, "keys:out", true), nullptr, reinterpret_cast<void*>(+onMessage), &count));
    // The second opened source has a port of its own.
    EXPECT_TRUE(connectedTo(keys.client(), "Veltrane MIDI:Veltrane MidiInput 2", std::vector<std::string>{"keys:out"}));
    later.sendMidi(0x90, 1, 1); // reaches no opened source
    ASSERT_TRUE(sentAndHeard(
        keys, [&] { keys.sendMidi(0x90, 2, 2); }, [&] { return count.load() >= 1; }));
    uint64_t cycles = keys.cycles();
    ASSERT_TRUE(waitFor([&] { return keys.cycles() > cycles + 8; }));
    EXPECT_EQ(count.load(), 1);
    midi.stop();
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
    KindraOnJack kindra;
    ASSERT_TRUE(kindra.loaded);
    VTMidiLib& midi = kindra.midi;
    VTVSTHostRegistry& registry = kindra.registry;
    VTVSTHostInterface& engine = kindra.engine;
    ASSERT_NE(registry.outputDevice, nullptr);
    ASSERT_NE(midiEntry(midi.m_coremidi, "keys:out", true), nullptr);
    ASSERT_TRUE(engine.startAudio());
    ASSERT_TRUE(engine.startMidi());
    ASSERT_EQ(jack_connect(keys.client(), "Kindra:out_1", (keys.name() + ":hear").c_str()), 0);

    // ---- A4 (note 69): 440 Hz
    keys.takeCaptured();
    const double rate = registry.outputDevice->sampleRate;
    std::vector<float> sound;
    auto listen = [&] {
        for (float sample : keys.takeCaptured())
            if (!sound.empty() || std::fabs(sample) > 1e-4f)
                sound.push_back(sample);
        return !sound.empty();
    };
    ASSERT_TRUE(sentAndHeard(
        keys, [&] { keys.sendMidi(0x90, 69, 110); }, listen));
    ASSERT_TRUE(waitFor([&] { return listen() && sound.size() > static_cast<size_t>(rate * 0.5); }));
    // Past the attack, a quarter of a second of the held note.
    std::vector<float> held(sound.begin() + static_cast<long>(rate * 0.2),
                            sound.begin() + static_cast<long>(rate * 0.45));
    EXPECT_NEAR(frequencyOf(held, rate), 440.0, 440.0 * 0.02);

    keys.sendMidi(0x80, 69, 0);
    engine.stopAudio();
    kindra.lib.unloadPlugin();
}

} // namespace
