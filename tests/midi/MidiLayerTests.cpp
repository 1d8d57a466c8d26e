// The MIDI device layer against a virtual MIDI world: enumeration, start,
// stop, input through the receive thread and output.
#include "MidiTestSupport.h"

#include "VTPlatformTesting.h"
#include "VTRealtimeCheck.h"
#include "VTVirtualMidi.h"

#include <VTMidiLib.h>
#include <VTVSTInterface.h>

#include <gtest/gtest.h>

#include <algorithm>

using vt::miditest::Recorder;
using vt::testing::MidiName;
using vt::testing::MidiPacketSpec;
using vt::testing::VirtualMidi;

namespace {

void* callbackOf(void (*callback)(VTMidiMsg*, void*))
{
    return reinterpret_cast<void*>(callback);
}

std::vector<std::string> namesOf(const VTMidiBase& midi)
{
    std::vector<std::string> names;
    for (const VTMidiDevice* device : midi.m_devices)
        names.push_back(device->name);
    return names;
}

// ------------------------------------------------------------ enumeration

TEST(MidiEnumeration, ListsSourcesThenDestinationsWithTheirNames)
{
    VirtualMidi world;
    // Created interleaved; listed sources first, each side in system order.
    world.addDestination(MidiName::text("Synth In"));
    world.addSource(MidiName::text("Keys"), MidiName::text("Keys port"));
    world.addSource(MidiName::unreadable(), MidiName::text("Pads"));
    world.addDestination(MidiName::utf16(u"Drum Machine \u00e9"));
    VTCoreMidi midi;

    EXPECT_EQ(namesOf(midi), (std::vector<std::string>{"Keys", "Pads", "Synth In", "Drum Machine \xc3\xa9"}));
    ASSERT_EQ(midi.m_devices.size(), 4u);
    EXPECT_EQ(midi.m_devices[0]->index, 0u);
    EXPECT_EQ(midi.m_devices[1]->index, 1u);
    EXPECT_EQ(midi.m_devices[2]->index, 0u);
    EXPECT_EQ(midi.m_devices[3]->index, 1u);
    EXPECT_TRUE(midi.m_devices[1]->in);
    EXPECT_FALSE(midi.m_devices[2]->in);
}

TEST(MidiEnumeration, EndpointWithoutAReadableNameIsSkippedButKeepsItsPosition)
{
    VirtualMidi world;
    world.addSource(MidiName::text("A"));
    world.addSource(MidiName::unreadable(), MidiName::unreadable());
    world.addSource(MidiName::text("C"));
    VTCoreMidi midi;

    ASSERT_EQ(namesOf(midi), (std::vector<std::string>{"A", "C"}));
    // "C" is the system's third source: index 2 opens it.
    EXPECT_EQ(midi.m_devices[1]->index, 2u);
}

TEST(MidiEnumeration, NamesThatCannotBeConvertedBecomeUnknownDevices)
{
    VirtualMidi world;
    world.addSource(MidiName::unconvertible(), MidiName::text("never read"));
    world.addDestination(MidiName::unconvertible());
    // 600 characters from UTF-16 need a conversion, which does not fit the
    // 512-byte buffer.
    world.addDestination(MidiName::utf16(std::u16string(600, u'x')));
    VTCoreMidi midi;

    EXPECT_EQ(namesOf(midi),
              (std::vector<std::string>{"Unknown Input Device", "Unknown Output Device", "Unknown Output Device"}));
}

TEST(MidiEnumeration, NoEndpointsGiveAnEmptyListAndStartWithNeitherSideFails)
{
    VirtualMidi world;
    VTMidiLib lib;
    EXPECT_TRUE(lib.m_coremidi.m_devices.empty());
    EXPECT_FALSE(lib.m_coremidi.start(nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(world.ports().empty());
}

TEST(MidiEnumeration, EntriesAreCreatedWithTheirDefaults)
{
    VirtualMidi world;
    world.addSource(MidiName::text("In"));
    world.addDestination(MidiName::text("Out"));
    VTCoreMidi midi;
    ASSERT_EQ(midi.m_devices.size(), 2u);

    struct Defaults {
        bool in, active;
    };
    const Defaults expected[] = {{true, true}, {false, false}};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(midi.m_devices[i]->name);
        const VTMidiDevice& d = *midi.m_devices[i];
        EXPECT_EQ(d.index, 0u);
        EXPECT_EQ(d.auxName, "");
        EXPECT_EQ(d.type, 2u);
        EXPECT_EQ(d.in, expected[i].in);
        EXPECT_EQ(d.active.load(), expected[i].active);
        EXPECT_FALSE(d.sync.load());
        EXPECT_FALSE(d.syncWhilePlaying.load());
        EXPECT_EQ(d.delay.load(), 0);
        EXPECT_FALSE(d.filterCCMessages.load());
        EXPECT_FALSE(d.filterProgramChanges.load());
        EXPECT_EQ(d.channel.load(), 0);
        EXPECT_EQ(d.keyboardRangeLeft.load(), 0);
        EXPECT_EQ(d.keyboardRangeRight.load(), 127);
    }
}

TEST(MidiEnumeration, CreatesTheClientAndDisposesOfItAtTheEnd)
{
    VirtualMidi world;
    {
        VTCoreMidi midi;
        auto clients = world.clients();
        ASSERT_EQ(clients.size(), 1u);
        EXPECT_EQ(clients[0].name, "Veltrane MIDI");
        EXPECT_EQ(clients[0].ref, midi.m_midiClient);
        EXPECT_EQ(midi.m_msg->status, 0);
        EXPECT_EQ(midi.m_msg->time, 0.0);
    }
    EXPECT_TRUE(world.clients().empty());
}

// ------------------------------------------------------------ start / stop

class MidiStart : public ::testing::Test {
protected:
    MidiStart()
    {
        m_keys = m_world.addSource(MidiName::text("Keys"));
        m_pads = m_world.addSource(MidiName::text("Pads"));
        m_synth = m_world.addDestination(MidiName::text("Synth"));
        m_midi = std::make_unique<VTCoreMidi>();
    }

    VTMidiDevice* device(const std::string& name)
    {
        auto found = std::find_if(m_midi->m_devices.begin(), m_midi->m_devices.end(),
                                  [&](const VTMidiDevice* d) { return d->name == name; });
        return found == m_midi->m_devices.end() ? nullptr : *found;
    }

    bool startInput(const std::string& name, Recorder& recorder)
    {
        return m_midi->start(device(name), nullptr, callbackOf(&Recorder::callback), &recorder);
    }

    VirtualMidi m_world;
    MIDIEndpointRef m_keys = 0, m_pads = 0, m_synth = 0;
    std::unique_ptr<VTCoreMidi> m_midi;
};

TEST_F(MidiStart, InputGetsItsOwnPortConnectedToItsSource)
{
    Recorder keys, pads;
    ASSERT_TRUE(startInput("Keys", keys));
    ASSERT_TRUE(startInput("Pads", pads));

    auto ports = m_world.ports();
    ASSERT_EQ(ports.size(), 2u);
    for (const auto& port : ports) {
        EXPECT_TRUE(port.input);
        EXPECT_EQ(port.name, "Veltrane MidiInput");
        EXPECT_EQ(port.client, m_midi->m_midiClient);
    }
    EXPECT_EQ(ports[0].sources, std::vector<MIDIEndpointRef>{m_keys});
    EXPECT_EQ(ports[1].sources, std::vector<MIDIEndpointRef>{m_pads});
    ASSERT_EQ(m_midi->m_midiIns.size(), 2u);
    EXPECT_EQ(m_midi->m_midiIns[1].port, ports[1].ref);
    EXPECT_EQ(m_midi->m_midiIns[1].endpoint, m_pads);

    // Each source reaches its own callback and user data.
    ASSERT_TRUE(m_world.deliver(m_pads, {{1000, {0xC2, 0x04}}}));
    ASSERT_TRUE(m_world.deliver(m_keys, {{2000, {0x90, 0x3C, 0x64}}}));
    m_world.waitUntilHandled();
    ASSERT_EQ(pads.messages.size(), 1u);
    EXPECT_EQ(pads.messages[0].status, 0xC2);
    ASSERT_EQ(keys.messages.size(), 1u);
    EXPECT_EQ(keys.messages[0].status, 0x90);
}

TEST_F(MidiStart, MessagesArriveOnTheReceiveThreadInDeliveryOrder)
{
    Recorder recorder;
    ASSERT_TRUE(startInput("Keys", recorder));
    for (int note = 0; note < 100; ++note)
        ASSERT_TRUE(m_world.deliver(m_keys, {{1000, {0x90, static_cast<uint8_t>(note), 0x40}}}));
    m_world.waitUntilHandled();

    ASSERT_EQ(recorder.messages.size(), 100u);
    for (int note = 0; note < 100; ++note)
        EXPECT_EQ(recorder.messages[static_cast<std::size_t>(note)].data1, note);
    for (std::thread::id thread : recorder.threads)
        EXPECT_NE(thread, std::this_thread::get_id());
}

TEST_F(MidiStart, TimeIsZeroAfterStartAndCountsHostTimeAfterwards)
{
    Recorder recorder;
    ASSERT_TRUE(startInput("Keys", recorder));
    ASSERT_TRUE(m_world.deliver(m_keys, {{7'000'000, {0xF8}}}));
    ASSERT_TRUE(m_world.deliver(m_keys, {{9'000'000, {0xF8}}}));
    m_world.waitUntilHandled();
    EXPECT_NE(m_midi->m_lastTime.load(), 0u);

    // A new series of starts begins counting afresh.
    m_midi->stop();
    ASSERT_TRUE(startInput("Keys", recorder));
    ASSERT_TRUE(m_world.deliver(m_keys, {{50'000'000, {0xF8}}}));
    m_world.waitUntilHandled();

    ASSERT_EQ(recorder.messages.size(), 3u);
    EXPECT_EQ(recorder.messages[0].time, 0.0);
    // 9,000,000 − 7,000,000 host units = 2.0 ms.
    EXPECT_EQ(recorder.messages[1].time, 2.0);
    EXPECT_EQ(recorder.messages[2].time, 0.0);
}

TEST_F(MidiStart, ArrivalTimesFollowTheHostClock)
{
    vt::testing::ManualHostClock clock(3'000'000'000);
    Recorder recorder;
    ASSERT_TRUE(startInput("Keys", recorder));
    ASSERT_TRUE(m_world.deliverNow(m_keys, {0x90, 0x3C, 0x64}));
    clock.advance(250'000);
    ASSERT_TRUE(m_world.deliverNow(m_keys, {0x80, 0x3C, 0x00}));
    m_world.waitUntilHandled();

    ASSERT_EQ(recorder.messages.size(), 2u);
    EXPECT_EQ(recorder.messages[0].time, 0.0);
    // 250,000 ns of host time: 0.25 ms (0.000001f times 250,000 rounds to 0.25).
    EXPECT_EQ(recorder.messages[1].time, 0.25);
    EXPECT_EQ(m_midi->m_lastTime.load(), 3'000'250'000u);
}

TEST_F(MidiStart, OutputOpensThePortForTheDestination)
{
    ASSERT_TRUE(m_midi->start(nullptr, device("Synth"), nullptr, nullptr));
    auto ports = m_world.ports();
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_FALSE(ports[0].input);
    EXPECT_EQ(ports[0].name, "Veltrane MidiOutput");
    EXPECT_EQ(m_midi->m_midiOut.port.load(), ports[0].ref);
    EXPECT_EQ(m_midi->m_midiOut.endpoint.load(), m_synth);
    EXPECT_TRUE(m_midi->m_midiIns.empty());
}

TEST_F(MidiStart, FailedInputPortAnswersFalseAndOpensNothing)
{
    m_world.failInputPorts(true);
    Recorder recorder;
    EXPECT_FALSE(startInput("Keys", recorder));
    EXPECT_TRUE(m_midi->m_midiIns.empty());
    EXPECT_TRUE(m_world.ports().empty());
    EXPECT_FALSE(m_world.isConnected(m_keys));
}

TEST_F(MidiStart, FailedOutputPortAnswersFalse)
{
    m_world.failOutputPorts(true);
    EXPECT_FALSE(m_midi->start(nullptr, device("Synth"), nullptr, nullptr));
    EXPECT_EQ(m_midi->m_midiOut.port.load(), 0u);
}

TEST_F(MidiStart, WithoutAClientStartOpensNothingAndAnswersTrue)
{
    m_world.failClientCreation(true);
    m_midi = std::make_unique<VTCoreMidi>();
    EXPECT_EQ(m_midi->m_midiClient, 0u);
    // The endpoints are listed all the same.
    EXPECT_EQ(namesOf(*m_midi), (std::vector<std::string>{"Keys", "Pads", "Synth"}));
    Recorder recorder;
    EXPECT_TRUE(m_midi->start(device("Keys"), device("Synth"), callbackOf(&Recorder::callback), &recorder));
    EXPECT_TRUE(m_world.ports().empty());
    EXPECT_TRUE(m_midi->m_midiIns.empty());
}

TEST_F(MidiStart, StopDisconnectsAndDisposesEveryPort)
{
    Recorder recorder;
    ASSERT_TRUE(startInput("Keys", recorder));
    ASSERT_TRUE(startInput("Pads", recorder));
    ASSERT_TRUE(m_midi->start(nullptr, device("Synth"), nullptr, nullptr));
    ASSERT_EQ(m_world.ports().size(), 3u);

    m_midi->stop();

    EXPECT_TRUE(m_world.ports().empty());
    EXPECT_FALSE(m_world.isConnected(m_keys));
    EXPECT_FALSE(m_world.isConnected(m_pads));
    EXPECT_TRUE(m_midi->m_midiIns.empty());
    EXPECT_EQ(m_midi->m_midiOut.port.load(), 0u);
    // Nothing reaches the callback any more, and nothing is sent.
    ASSERT_TRUE(m_world.deliver(m_keys, {{1000, {0xF8}}}));
    m_world.waitUntilHandled();
    EXPECT_TRUE(recorder.messages.empty());
    VstMidiEvent event{kVstMidiType, sizeof(VstMidiEvent), 0, 0, 0, 0, {char(0x90), 0x3C, 0x64, 0}, 0, 0, 0, 0};
    m_midi->sendMessage(&event);
    EXPECT_TRUE(m_world.takeSent(m_synth).empty());
    // A second stop finds nothing to close.
    m_midi->stop();
    EXPECT_TRUE(m_world.ports().empty());
}

TEST_F(MidiStart, DestroyingTheLayerWithOpenInputsEndsDelivery)
{
    Recorder recorder;
    ASSERT_TRUE(startInput("Keys", recorder));
    m_midi.reset();
    EXPECT_TRUE(m_world.ports().empty());
    ASSERT_TRUE(m_world.deliver(m_keys, {{1000, {0xF8}}}));
    m_world.waitUntilHandled();
    EXPECT_TRUE(recorder.messages.empty());
}

// ------------------------------------------------------------------ output

TEST_F(MidiStart, SendMessageSendsOneThreeBytePacketStampedWithTheDeltaFrames)
{
    ASSERT_TRUE(m_midi->start(nullptr, device("Synth"), nullptr, nullptr));
    VstMidiEvent on{kVstMidiType, sizeof(VstMidiEvent), 37, 0, 0, 0, {char(0x91), 0x3C, 0x64, 0}, 0, 0, 0, 0};
    VstMidiEvent off{kVstMidiType, sizeof(VstMidiEvent), 511, 0, 0, 0, {char(0x81), 0x3C, 0x00, 0}, 0, 0, 0, 0};
    m_midi->sendMessage(&on);
    m_midi->sendMessage(&off);

    auto sent = m_world.takeSent(m_synth);
    EXPECT_EQ(sent, (std::vector<MidiPacketSpec>{{37, {0x91, 0x3C, 0x64}}, {511, {0x81, 0x3C, 0x00}}}));
}

TEST_F(MidiStart, SendMessageWithoutAnOutputSendsNothing)
{
    VstMidiEvent event{kVstMidiType, sizeof(VstMidiEvent), 0, 0, 0, 0, {char(0x90), 0x3C, 0x64, 0}, 0, 0, 0, 0};
    m_midi->sendMessage(&event);
    EXPECT_TRUE(m_world.takeSent(m_synth).empty());
}

TEST_F(MidiStart, SendMessageAllocatesNothing)
{
    ASSERT_TRUE(m_midi->start(nullptr, device("Synth"), nullptr, nullptr));
    VstMidiEvent event{kVstMidiType, sizeof(VstMidiEvent), 5, 0, 0, 0, {char(0xB0), 0x07, 0x64, 0}, 0, 0, 0, 0};
    vt::testing::resetRealtimeAllocations();
    {
        vt::testing::RealtimeScope scope;
        for (int i = 0; i < 100; ++i)
            m_midi->sendMessage(&event);
    }
    EXPECT_EQ(vt::testing::realtimeAllocationCount(), 0u);
    EXPECT_EQ(m_world.takeSent(m_synth).size(), 100u);
}

} // namespace
