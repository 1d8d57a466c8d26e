// MIDI into the engine through the virtual MIDI world and the MIDI layer,
// as a user's setup sends it: clock, taps, learning, filters, output.
#include "EngineRig.h"
#include "VTPlatformTesting.h"

using enginetest::EngineRig;
using enginetest::Stereo;
using vt::testing::MidiPacketSpec;

namespace {

constexpr uint64_t kMillisecond = 1'000'000; // host clock units (ns)

// A rig with one keyboard wired in, started the way start-up starts MIDI.
struct MidiRig : EngineRig {
    MidiRig() : EngineRig(enginetest::RigOptions().midiSource("Keys").midiDestination("Synth"))
    {
        registry.mergeMidiDevices(midi.m_coremidi.m_devices);
    }
    VTMidiDevice& keys() { return *registry.getMidiDevice(midi.m_coremidi.m_devices[0]); }
    bool start() { return engine.startMidi(); }
    // Sends packets from the keyboard and waits until the engine has them.
    void send(std::vector<MidiPacketSpec> packets)
    {
        ASSERT_TRUE(midiWorld.deliver(sources[0], packets));
        midiWorld.waitUntilHandled();
    }
    // One packet of bytes stamped with the current host time.
    void play(std::vector<uint8_t> bytes) { send({MidiPacketSpec{clock.now(), std::move(bytes)}}); }
    // The events the next cycle hands to the plug-in.
    std::vector<std::vector<unsigned char>> deliveredNow()
    {
        Stereo output(16);
        plugin().events.clear();
        cycle(output);
        return receivedEvents();
    }

    vt::testing::ManualHostClock clock;
};

using Events = std::vector<std::vector<unsigned char>>;

} // namespace

TEST(MidiIn, NotesFromAnActiveInputReachThePlugInInTheNextCycle)
{
    MidiRig rig;
    ASSERT_TRUE(rig.start());
    rig.play({0x90, 60, 100, 0x80, 60, 0});
    EXPECT_EQ(rig.deliveredNow(), (Events{{0x90, 60, 100}, {0x80, 60, 0}}));
    rig.engine.m_midiLib->m_coremidi.stop();
}

TEST(MidiIn, AKeyboardPlaysAnInstrumentOnARunningDevice)
{
    EngineRig rig(enginetest::RigOptions().instrument().midiSource("Keys").audioDevice(
        enginetest::duplexDevice("Interface", 48000, 128)));
    rig.registry.mergeMidiDevices(rig.midi.m_coremidi.m_devices);
    rig.registry.outputDevice = rig.audioEntry("Interface", false);
    ASSERT_TRUE(rig.engine.startMidi());
    ASSERT_TRUE(rig.engine.startAudio());
    rig.plugin().events.clear();

    vt::testing::ManualHostClock clock;
    ASSERT_TRUE(rig.midiWorld.deliver(rig.sources[0], {MidiPacketSpec{clock.now(), {0x90, 64, 90}}}));
    rig.midiWorld.waitUntilHandled();
    ASSERT_EQ(rig.renderRunningStream(128).size(), 2u);
    EXPECT_EQ(rig.receivedEvents(), (Events{{0x90, 64, 90}}));

    // Handed over once: the next cycle brings nothing new.
    rig.plugin().events.clear();
    ASSERT_EQ(rig.renderRunningStream(128).size(), 2u);
    EXPECT_TRUE(rig.receivedEvents().empty());
    rig.engine.stopAudio();
    rig.midi.m_coremidi.stop();
}

TEST(MidiIn, TheChannelFilterPassesOnlyItsChannelAndZeroPassesAll)
{
    MidiRig rig;
    ASSERT_TRUE(rig.start());
    rig.keys().channel = 2;
    rig.play({0x92, 60, 100}); // channel 3
    rig.play({0x91, 61, 100}); // channel 2
    EXPECT_EQ(rig.deliveredNow(), (Events{{0x91, 61, 100}}));
    rig.keys().channel = 0;
    rig.play({0x92, 62, 100});
    EXPECT_EQ(rig.deliveredNow(), (Events{{0x92, 62, 100}}));
}

TEST(MidiIn, KeyboardRangeAndMessageFiltersDropWhatTheyCover)
{
    MidiRig rig;
    ASSERT_TRUE(rig.start());
    rig.keys().keyboardRangeLeft = 48;
    rig.keys().keyboardRangeRight = 72;
    rig.keys().filterCCMessages = true;
    rig.keys().filterProgramChanges = true;
    rig.play({0x90, 47, 100, 0x90, 48, 100, 0x90, 72, 100, 0x90, 73, 100});
    rig.play({0xB0, 60, 1, 0xC0, 60, 0xB1, 60, 2});
    // The controller and program filters compare the whole status byte, so
    // a controller on channel 2 passes.
    EXPECT_EQ(rig.deliveredNow(), (Events{{0x90, 48, 100}, {0x90, 72, 100}, {0xB1, 60, 2}}));
}

TEST(MidiClock, TwentyFourTicksOf20833MicrosecondsGive120Bpm)
{
    MidiRig rig;
    rig.keys().sync = true;
    ASSERT_TRUE(rig.start());
    EXPECT_TRUE(rig.engine.m_midiSync);
    rig.engine.m_tempo = 100.0;
    // 25 ticks: the first after start has no time, the next 24 span one
    // beat of 24 x 20.833 ms = 499.992 ms, which is 120.0 BPM in 0.1 steps.
    std::vector<MidiPacketSpec> ticks;
    for (int i = 0; i < 25; ++i)
        ticks.push_back({1'000'000'000 + static_cast<uint64_t>(i) * 20'833'000, {0xF8}});
    rig.send(ticks);
    EXPECT_DOUBLE_EQ(rig.engine.m_tempo, 120.0);
    EXPECT_DOUBLE_EQ(rig.registry.tempo, 120.0);
    EXPECT_NEAR(rig.engine.m_midiPPQ, 25 * 0.0416666679084301, 1e-12);
    EXPECT_TRUE(rig.deliveredNow().empty()); // clock is never queued
}

TEST(MidiClock, StartWithADelayOf100MsAt120BpmBeginsAtBeatPointTwoAndPlays)
{
    MidiRig rig;
    rig.keys().sync = true;
    rig.keys().delay = 100;
    ASSERT_TRUE(rig.start());
    rig.engine.m_playStatusChanged = false;
    rig.play({0xFA});
    // 120 BPM is 2 beats a second: 100 ms are 0.2 beats.
    EXPECT_DOUBLE_EQ(rig.engine.m_midiPPQ, 0.2);
    EXPECT_TRUE(rig.engine.m_playStatus);
    EXPECT_TRUE(rig.engine.m_playStatusChanged);
    Stereo output(16);
    rig.cycle(output);
    EXPECT_TRUE(rig.probe.lib.m_host.getPlayStatus());
    EXPECT_DOUBLE_EQ(rig.probe.lib.m_host.m_vstTimeInfo.ppqPos, 0.2);

    rig.play({0xFC});
    EXPECT_FALSE(rig.engine.m_playStatus);
    rig.cycle(output);
    EXPECT_FALSE(rig.probe.lib.m_host.getPlayStatus());
}

TEST(MidiClock, IsIgnoredFromAnInputNotSetToSync)
{
    MidiRig rig;
    ASSERT_TRUE(rig.start());
    rig.engine.m_playStatusChanged = false;
    rig.play({0xFA});
    EXPECT_FALSE(rig.engine.m_playStatusChanged);
    EXPECT_FALSE(rig.engine.m_playStatus);
    EXPECT_TRUE(rig.deliveredNow().empty());
}

TEST(TapTempo, TapsOfTheLearnedMessageSetTheTempo)
{
    MidiRig rig;
    ASSERT_TRUE(rig.start());
    rig.engine.m_midiLearned = new VTMidiMsg{0x90, 0x90, 0, 36, 0, 0.0, nullptr};
    rig.engine.m_tempo = 100.0;

    rig.play({0x90, 36, 127}); // the first tap only starts the timing
    EXPECT_EQ(rig.engine.m_tempo, 100.0);
    rig.clock.advance(500 * kMillisecond);
    rig.play({0x90, 36, 127}); // 60000 / 500 = 120.00
    EXPECT_EQ(rig.engine.m_tempo, 120.0);
    rig.clock.advance(2000 * kMillisecond);
    rig.play({0x90, 36, 127}); // a pause of 2 s restarts the timing only
    EXPECT_EQ(rig.engine.m_tempo, 120.0);
    EXPECT_EQ(rig.engine.m_tapcount, 0);
    // Taps are never passed on to the plug-in.
    EXPECT_TRUE(rig.deliveredNow().empty());
}

TEST(TapTempo, FastTapsClampAt250AndSlowTapsRoundToHundredths)
{
    MidiRig rig;
    ASSERT_TRUE(rig.start());
    rig.engine.m_midiLearned = new VTMidiMsg{0x90, 0x90, 0, 36, 0, 0.0, nullptr};
    rig.play({0x90, 36, 127});
    rig.clock.advance(100 * kMillisecond);
    rig.play({0x90, 36, 127}); // 600 BPM, clamped
    EXPECT_EQ(rig.engine.m_tempo, 250.0);

    rig.clock.advance(2000 * kMillisecond);
    rig.play({0x90, 36, 127});
    rig.clock.advance(1300 * kMillisecond);
    rig.play({0x90, 36, 127}); // 60000 / 1300 = 46.1538 -> 46.15
    EXPECT_DOUBLE_EQ(rig.engine.m_tempo, 46.15);
}

TEST(TapTempo, ALearnedControllerTapsOnlyWhenItComesBackUp)
{
    MidiRig rig;
    ASSERT_TRUE(rig.start());
    rig.engine.m_midiLearned = new VTMidiMsg{0xB0, 0xB0, 0, 64, 0, 0.0, nullptr};
    rig.play({0xB0, 64, 127}); // up without having been down: a plain message
    rig.play({0xB0, 64, 0});   // down: arms the tap, passed on
    EXPECT_TRUE(rig.engine.m_checkCC);
    rig.play({0xB0, 64, 127}); // up again: a tap, not passed on
    EXPECT_FALSE(rig.engine.m_checkCC);
    EXPECT_EQ(rig.deliveredNow(), (Events{{0xB0, 64, 127}, {0xB0, 64, 0}}));
}

TEST(TapTempo, LearningStoresTheMessageAndWritesTempoTab)
{
    MidiRig rig;
    ASSERT_TRUE(rig.start());
    rig.engine.m_midiLearn = true;
    rig.play({0x99, 38, 90});
    ASSERT_NE(rig.engine.m_midiLearned, nullptr);
    EXPECT_EQ(rig.engine.m_midiLearned->status, 0x99);
    EXPECT_EQ(rig.engine.m_midiLearned->data1, 38);
    EXPECT_FALSE(rig.engine.m_midiLearn);
    // 0x99 * 256 + 38 = 39206, taken at once; the settings file is written
    // by the main thread's run loop, not by the MIDI thread.
    EXPECT_EQ(rig.registry.tempoTab, 39206);
    int stored = 0;
    EXPECT_FALSE(rig.registry.getkeyvalue("tempoTab", &stored));
    for (int slice = 0; slice < 400 && !rig.registry.getkeyvalue("tempoTab", &stored); ++slice)
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.005, false);
    EXPECT_EQ(stored, 39206);
    EXPECT_TRUE(rig.deliveredNow().empty());
}

TEST(MidiOut, ThePlugInsEventsReachTheChosenDestination)
{
    MidiRig rig;
    VTMidiDevice* synth = rig.midi.m_coremidi.m_devices[1];
    ASSERT_FALSE(synth->in);
    synth->active = true;
    ASSERT_TRUE(rig.start());
    EXPECT_EQ(rig.engine.m_midiOutDevice, synth);

    VstMidiEvent note{};
    note.type = kVstMidiType;
    note.byteSize = sizeof note;
    note.deltaFrames = 12;
    note.midiData[0] = static_cast<char>(0x90);
    note.midiData[1] = 60;
    note.midiData[2] = 100;
    VstEvents events{1, 0, {reinterpret_cast<VstEvent*>(&note), nullptr}};
    EXPECT_EQ(rig.probe.callHost(audioMasterProcessEvents, 0, 0, &events), 1);
    auto sent = rig.midiWorld.takeSent(rig.destinations[0]);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].time, 12u);
    EXPECT_EQ(sent[0].bytes, (std::vector<uint8_t>{0x90, 60, 100}));
}

TEST(MidiStart, AnInputThatCannotOpenIsMarkedInactiveAndStartFails)
{
    MidiRig rig;
    rig.midiWorld.failInputPorts(true);
    EXPECT_FALSE(rig.start());
    EXPECT_FALSE(rig.keys().active);
    rig.midiWorld.failInputPorts(false);
}
