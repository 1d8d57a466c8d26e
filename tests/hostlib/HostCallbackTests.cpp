// The host callback's answers, with and without a registered host, and the
// forwarding callback.
#include "ProbeHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

VstIntPtr callUnregistered(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                           float opt = 0.0f)
{
    static AEffect stranger{}; // never registered with any host
    return VSTHost::AudioMasterCallback(&stranger, opcode, index, value, ptr, opt);
}

struct Calls {
    std::vector<VstMidiEvent*> midi;
    std::vector<double> tempos;
    int sizeChanges = 0;
    std::vector<std::pair<bool, int>> bounces;
};

void onMidi(VstMidiEvent* event, void* data)
{
    static_cast<Calls*>(data)->midi.push_back(event);
}
void onTempo(double tempo, void* data)
{
    static_cast<Calls*>(data)->tempos.push_back(tempo);
}
void onSize(void* data)
{
    ++static_cast<Calls*>(data)->sizeChanges;
}
void onBounce(bool done, int frames, void* data)
{
    static_cast<Calls*>(data)->bounces.emplace_back(done, frames);
}

void install(VSTHost& host, Calls& calls)
{
    host.m_midiCallback = onMidi;
    host.m_midiCustomData = &calls;
    host.m_tempoCallback = onTempo;
    host.m_tempoCustomData = &calls;
    host.m_SizeChangedCallback = onSize;
    host.m_m_SizeChangedData = &calls;
    host.m_bounceDoneCallback = onBounce;
    host.m_bounceDoneCustomData = &calls;
}

// A list of events of the given types, each a MIDI note-on where it is one.
struct EventList {
    explicit EventList(std::initializer_list<VstInt32> types)
    {
        for (VstInt32 type : types) {
            VstMidiEvent event{};
            event.type = type;
            event.byteSize = sizeof(VstMidiEvent);
            event.midiData[0] = static_cast<char>(0x90);
            storage.push_back(event);
        }
        block.resize(sizeof(VstEvents) + storage.size() * sizeof(VstEvent*));
        list = reinterpret_cast<VstEvents*>(block.data());
        list->numEvents = static_cast<VstInt32>(storage.size());
        for (size_t i = 0; i < storage.size(); ++i)
            list->events[i] = reinterpret_cast<VstEvent*>(&storage[i]);
    }
    std::vector<VstMidiEvent> storage;
    std::vector<char> block;
    VstEvents* list;
};

} // namespace

TEST(HostCallback, WithoutAHostAnswersOnlyWhatNeedsNone)
{
    char text[64] = {};
    EXPECT_EQ(callUnregistered(audioMasterVersion), 2400);
    EXPECT_EQ(callUnregistered(audioMasterGetVendorString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Veltrane");
    EXPECT_EQ(callUnregistered(audioMasterGetProductString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Veltrane Standalone");
    EXPECT_EQ(callUnregistered(audioMasterGetTime), 0);
    EventList events{kVstMidiType};
    EXPECT_EQ(callUnregistered(audioMasterProcessEvents, 0, 0, events.list), 0);
    EXPECT_EQ(callUnregistered(audioMasterSizeWindow, 640, 480), 0);
    EXPECT_EQ(callUnregistered(audioMasterVTSetTempo, 0, 0, nullptr, 90.0f), 0);
    EXPECT_EQ(callUnregistered(audioMasterVTReserved), 0);
    EXPECT_EQ(callUnregistered(audioMasterVTBounceProgress, 0, 1), 0);
    // Setting the transport is acknowledged even with nobody to tell.
    EXPECT_EQ(callUnregistered(audioMasterVTSetTransport, 1), 1);
    EXPECT_EQ(callUnregistered(audioMasterIdle), 0);
    EXPECT_EQ(callUnregistered(12345), 0);
    EXPECT_EQ(VSTHost::AudioMasterCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0), 2400);
}

TEST(HostCallback, CanDoAnswersYesToExactlyTheHostsCapabilities)
{
    for (const char* yes : {"supplyIdle", "sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo", "receiveVstEvents",
                            "receiveVstMidiEvent", "supportShell", "shellCategory", "sizeWindow"})
        EXPECT_EQ(callUnregistered(audioMasterCanDo, 0, 0, const_cast<char*>(yes)), 1) << yes;
    for (const char* no : {"offline", "sizewindow", "sendVstMidiEvents", ""})
        EXPECT_EQ(callUnregistered(audioMasterCanDo, 0, 0, const_cast<char*>(no)), 0) << no;
    EXPECT_EQ(callUnregistered(audioMasterCanDo, 0, 0, nullptr), 0);
}

TEST(HostCallback, ARegisteredEffectHearsTheSameIdentityAndCapabilities)
{
    probe::LoadedProbe probe;
    ASSERT_TRUE(probe.loaded);
    char text[64] = {};
    EXPECT_EQ(probe.callHost(audioMasterVersion, 0, 0, nullptr), 2400);
    EXPECT_EQ(probe.callHost(audioMasterGetVendorString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Veltrane");
    EXPECT_EQ(probe.callHost(audioMasterGetProductString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Veltrane Standalone");
    EXPECT_EQ(probe.callHost(audioMasterCanDo, 0, 0, const_cast<char*>("sendVstTimeInfo")), 1);
    EXPECT_EQ(probe.callHost(audioMasterCanDo, 0, 0, const_cast<char*>("offline")), 0);
}

TEST(HostCallback, TimeInfoStartsAtTheDocumentedValuesAndIsTheHostsOwnRecord)
{
    probe::LoadedProbe probe;
    ASSERT_TRUE(probe.loaded);
    auto* time = reinterpret_cast<VstTimeInfo*>(probe.callHost(audioMasterGetTime, 0, 0xFFFF));
    ASSERT_EQ(time, &probe.lib.m_host.m_vstTimeInfo);
    EXPECT_EQ(time->samplePos, 0.0);
    EXPECT_EQ(time->sampleRate, 44100.0);
    EXPECT_EQ(time->nanoSeconds, 0.0);
    EXPECT_EQ(time->ppqPos, 0.0);
    EXPECT_EQ(time->tempo, 120.0);
    EXPECT_EQ(time->barStartPos, 0.0);
    EXPECT_EQ(time->cycleStartPos, 0.0);
    EXPECT_EQ(time->cycleEndPos, 0.0);
    EXPECT_EQ(time->timeSigNumerator, 4);
    EXPECT_EQ(time->timeSigDenominator, 4);
    EXPECT_EQ(time->smpteOffset, 0);
    EXPECT_EQ(time->smpteFrameRate, 1);
    EXPECT_EQ(time->samplesToNextClock, 0);
    EXPECT_EQ(time->flags, kVstPpqPosValid | kVstTempoValid);
}

TEST(HostCallback, PlayStatusIsTheTransportBitAlone)
{
    VSTHost host;
    host.setPlayStatus(true);
    EXPECT_TRUE(host.getPlayStatus());
    EXPECT_EQ(host.m_vstTimeInfo.flags, kVstPpqPosValid | kVstTempoValid | kVstTransportPlaying);
    host.setPlayStatus(false);
    EXPECT_FALSE(host.getPlayStatus());
    EXPECT_EQ(host.m_vstTimeInfo.flags, kVstPpqPosValid | kVstTempoValid);
}

TEST(HostCallback, EventsAreForwardedOnlyForMidi)
{
    probe::LoadedProbe probe;
    ASSERT_TRUE(probe.loaded);
    Calls calls;

    EventList mixed{kVstSysExType, kVstMidiType, kVstMidiType};
    // No MIDI callback installed: nothing to forward to.
    EXPECT_EQ(probe.callHost(audioMasterProcessEvents, 0, 0, mixed.list), 0);

    install(probe.lib.m_host, calls);
    EXPECT_EQ(probe.callHost(audioMasterProcessEvents, 0, 0, mixed.list), 1);
    ASSERT_EQ(calls.midi.size(), 2u);
    EXPECT_EQ(calls.midi[0], &mixed.storage[1]);
    EXPECT_EQ(calls.midi[1], &mixed.storage[2]);

    EventList sysexOnly{kVstSysExType};
    EventList none{};
    EXPECT_EQ(probe.callHost(audioMasterProcessEvents, 0, 0, sysexOnly.list), 0);
    EXPECT_EQ(probe.callHost(audioMasterProcessEvents, 0, 0, none.list), 0);
    EXPECT_EQ(probe.callHost(audioMasterProcessEvents, 0, 0, nullptr), 0);
    EXPECT_EQ(calls.midi.size(), 2u);
}

TEST(HostCallback, AnEventListThatCannotBeTrustedIsNotRead)
{
    probe::LoadedProbe probe;
    ASSERT_TRUE(probe.loaded);
    Calls calls;
    install(probe.lib.m_host, calls);

    // A count below zero or beyond any real list: nothing is read.
    EventList one{kVstMidiType};
    for (VstInt32 count : {-1, -100000, 1 << 30}) {
        one.list->numEvents = count;
        EXPECT_EQ(probe.callHost(audioMasterProcessEvents, 0, 0, one.list), 0) << count;
    }
    // Null entries and records too short to hold the MIDI bytes are
    // skipped; the good one among them still arrives.
    EventList mixed{kVstMidiType, kVstMidiType, kVstMidiType, kVstMidiType};
    mixed.list->events[0] = nullptr;
    mixed.storage[1].byteSize = 0;
    mixed.storage[2].byteSize = -32;
    EXPECT_EQ(probe.callHost(audioMasterProcessEvents, 0, 0, mixed.list), 1);
    ASSERT_EQ(calls.midi.size(), 1u);
    EXPECT_EQ(calls.midi[0], &mixed.storage[3]);
}

TEST(HostCallback, RateAndBlockSizeAreAnsweredWithTheValuesLastSent)
{
    probe::LoadedProbe probe;
    ASSERT_TRUE(probe.loaded);
    EXPECT_EQ(probe.callHost(audioMasterGetBlockSize), 0); // nothing sent yet
    probe.lib.setBlockSizeAndRate(384, 48000.0f);
    EXPECT_EQ(probe.callHost(audioMasterGetSampleRate), 48000);
    EXPECT_EQ(probe.callHost(audioMasterGetBlockSize), 384);
    probe.lib.setBlockSizeAndRate(1024, 96000.0f);
    EXPECT_EQ(probe.callHost(audioMasterGetSampleRate), 96000);
    EXPECT_EQ(probe.callHost(audioMasterGetBlockSize), 1024);
    EXPECT_EQ(callUnregistered(audioMasterGetBlockSize), 0);
    EXPECT_EQ(callUnregistered(audioMasterGetSampleRate), 0);
}

TEST(HostCallback, PrivateRequestsReachTheInstalledCallbacks)
{
    probe::LoadedProbe probe;
    ASSERT_TRUE(probe.loaded);
    Calls calls;
    // Before anything is installed the requests are declined.
    EXPECT_EQ(probe.callHost(audioMasterSizeWindow, 800, 600), 0);
    EXPECT_EQ(probe.callHost(audioMasterVTSetTempo, 0, 0, nullptr, 90.0f), 0);
    EXPECT_EQ(probe.callHost(audioMasterVTBounceProgress, 0, 1, nullptr, 12.0f), 0);

    install(probe.lib.m_host, calls);
    EXPECT_EQ(probe.callHost(audioMasterSizeWindow, 800, 600), 1);
    EXPECT_EQ(calls.sizeChanges, 1);

    EXPECT_EQ(probe.callHost(audioMasterVTSetTempo, 0, 0, nullptr, 133.25f), 1);
    ASSERT_EQ(calls.tempos.size(), 1u);
    EXPECT_EQ(calls.tempos[0], 133.25);

    // The frame offset arrives truncated; an offset no int holds reads as 0.
    EXPECT_EQ(probe.callHost(audioMasterVTBounceProgress, 0, 1, nullptr, 123.9f), 1);
    EXPECT_EQ(probe.callHost(audioMasterVTBounceProgress, 0, 0, nullptr, 7.0f), 1);
    EXPECT_EQ(probe.callHost(audioMasterVTBounceProgress, 0, 1, nullptr, std::nanf("")), 1);
    EXPECT_EQ(probe.callHost(audioMasterVTBounceProgress, 0, 1, nullptr, 1e20f), 1);
    std::vector<std::pair<bool, int>> expected{{true, 123}, {false, 7}, {true, 0}, {true, 0}};
    EXPECT_EQ(calls.bounces, expected);
}

TEST(HostCallback, SetTransportPlaysOrStopsAndRewinds)
{
    probe::LoadedProbe probe;
    ASSERT_TRUE(probe.loaded);
    VSTHost& host = probe.lib.m_host;
    host.m_vstTimeInfo.ppqPos = 17.5;
    EXPECT_EQ(probe.callHost(audioMasterVTSetTransport, 1), 1);
    EXPECT_TRUE(host.getPlayStatus());
    EXPECT_EQ(host.m_vstTimeInfo.ppqPos, 0.0);
    host.m_vstTimeInfo.ppqPos = 3.0;
    EXPECT_EQ(probe.callHost(audioMasterVTSetTransport, 0), 1);
    EXPECT_FALSE(host.getPlayStatus());
    EXPECT_EQ(host.m_vstTimeInfo.ppqPos, 0.0);
}

namespace {

void onPlayStatus(bool playing, void* data)
{
    static_cast<std::vector<bool>*>(data)->push_back(playing);
}

} // namespace

TEST(HostCallback, WithAPlayStatusReceiverSetTransportIsHandedOverAndLeavesTheTimeInfoAlone)
{
    probe::LoadedProbe probe;
    ASSERT_TRUE(probe.loaded);
    VSTHost& host = probe.lib.m_host;
    std::vector<bool> requests;
    host.m_playStatusCallback = onPlayStatus;
    host.m_playStatusCustomData = &requests;
    host.m_vstTimeInfo.ppqPos = 17.5;
    EXPECT_EQ(probe.callHost(audioMasterVTSetTransport, 1), 1);
    EXPECT_EQ(probe.callHost(audioMasterVTSetTransport, 0), 1);
    EXPECT_EQ(requests, (std::vector<bool>{true, false}));
    // The audio thread's record is not touched from the plug-in's thread.
    EXPECT_FALSE(host.getPlayStatus());
    EXPECT_EQ(host.m_vstTimeInfo.ppqPos, 17.5);
}

namespace {

struct Forwarded {
    std::vector<VstInt32> opcodes;
    void* data = nullptr;
};

VstIntPtr forward(void* userData, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    auto* forwarded = static_cast<Forwarded*>(userData);
    forwarded->opcodes.push_back(opcode);
    forwarded->data = userData;
    return 77;
}

} // namespace

TEST(HostCallback, AForwardingCallbackAnswersEverythingButTheShellId)
{
    Forwarded forwarded;
    probe::LoadedProbe probe("Probe", forward, &forwarded);
    ASSERT_TRUE(probe.loaded);
    ASSERT_EQ(probe.lib.m_host.m_masterCallBack, forward);
    forwarded.opcodes.clear(); // the entry's own requests came before registration

    EXPECT_EQ(probe.callHost(audioMasterVersion), 77);
    EXPECT_EQ(probe.callHost(audioMasterGetTime), 77);
    EXPECT_EQ(probe.callHost(audioMasterVTSetTransport, 1), 77);
    EXPECT_FALSE(probe.lib.m_host.getPlayStatus());
    EXPECT_EQ(probe.callHost(audioMasterCurrentId), 0); // never forwarded
    EXPECT_EQ(forwarded.opcodes,
              (std::vector<VstInt32>{audioMasterVersion, audioMasterGetTime, audioMasterVTSetTransport}));
    EXPECT_EQ(forwarded.data, &forwarded);

    // Unloading clears the forwarding callback.
    probe.lib.m_plugin->dispatcher(probe.lib.m_plugin, effClose, 0, 0, nullptr, 0);
    probe.lib.m_plugin = nullptr;
    probe.lib.unloadPlugin();
    EXPECT_EQ(probe.lib.m_host.m_masterCallBack, nullptr);
}
