// The MIDI device layer on Core MIDI.
#pragma once

#include "VTMidiBase.h"

#include <CoreMIDI/CoreMIDI.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct VstMidiEvent;

// One opened input: its port and the source connected to it.
struct VTCoreMidiInConnection {
    MIDIPortRef port;
    MIDIEndpointRef endpoint;
};

// The open output: port 0 while none is open. Atomic, because the sending
// thread reads it while the main thread starts and stops MIDI.
struct VTCoreMidiOutConnection {
    std::atomic<MIDIPortRef> port{0};
    std::atomic<MIDIEndpointRef> endpoint{0};
};

class VTCoreMidi;

// What the read procedure of one opened source needs.
struct VTCoreMidiInContext {
    VTMidiInCallback callback;
    void* userData;
    VTCoreMidi* midi;
};

class VTCoreMidi : public VTMidiBase {
public:
    // Main thread only: creates the client "Veltrane MIDI" and lists the
    // sources, then the destinations.
    VTCoreMidi();
    // Main thread only: closes what is open and disposes of the client.
    ~VTCoreMidi() override;

    bool start(VTMidiDevice* in, VTMidiDevice* out, void* callback, void* userData) override;
    void stop() override;

    // The sending thread (one at a time), real-time safe: sends the event's
    // three MIDI bytes as one packet stamped with its delta frames.
    void sendMessage(const VstMidiEvent* event);

    // The read procedure given to Core MIDI: MIDI receive thread.
    static void MidiInCallback(const MIDIPacketList* pktlist, void* readProcRefCon, void* srcConnRefCon);

    // MIDI receive thread, real-time safe: cuts the packets of a list that
    // lies within its first listBytes bytes into messages for the context's
    // callback. Packets, and messages, that would run past the list or
    // their packet are dropped; nothing outside the list is read.
    void readPacketList(const MIDIPacketList* list, std::size_t listBytes, const VTCoreMidiInContext& context);

    MIDIClientRef m_midiClient = 0;
    std::vector<VTCoreMidiInConnection> m_midiIns;
    VTCoreMidiOutConnection m_midiOut;
    // Host time of the packet that delivered the previous message; 0 after
    // start. Written by start (main thread) and the receive thread.
    std::atomic<uint64_t> m_lastTime{0};

private:
    void readPacket(const Byte* data, std::size_t length, MIDITimeStamp timeStamp, const VTCoreMidiInContext& context);
    void addDevices(bool sources);

    // The input contexts handed to Core MIDI, released once their ports are.
    std::vector<std::unique_ptr<VTCoreMidiInContext>> m_inContexts;
    // Output reuses one packet list, so sending never allocates.
    static MIDIPacketList pktlist;
};
