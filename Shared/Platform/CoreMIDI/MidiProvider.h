// What stands behind the Core MIDI stand-in: providers offer endpoints
// (virtual endpoints that tests define, JACK MIDI ports) and the MIDI server
// routes packet lists between them and the clients' ports.
#pragma once

#include <CoreMIDI/CoreMIDI.h>

#include <cstddef>
#include <cstdint>

namespace vt::platform::midi {

enum class NameProperty { name, displayName };

// One family of MIDI endpoints. The server calls copyName on the main
// thread and send on the sending thread.
class Provider {
public:
    virtual ~Provider() = default;
    // Main thread: a +1 string for the property of the provider's endpoint
    // localId, or null when the property cannot be read.
    virtual CFStringRef copyName(uint32_t localId, NameProperty property) = 0;
    // One thread at a time, real-time safe: passes a well-formed packet list
    // to the provider's destination localId.
    virtual OSStatus send(uint32_t localId, const MIDIPacketList* list) = 0;
    // Main thread: the first port connected to / the last port left the
    // source localId, so a provider can open or close what feeds it; the
    // port's name is the one its client gave it.
    virtual void sourceConnected(uint32_t /*localId*/, const char* /*portName*/) {}
    virtual void sourceDisconnected(uint32_t) {}
    // Main thread: a client was created (a provider of an outside server
    // takes its list of endpoints now) or disposed.
    virtual void clientCreated() {}
    virtual void clientDisposed() {}
    // Main thread: an output port was created or disposed.
    virtual void outputPortCreated(const char* /*portName*/) {}
    virtual void outputPortDisposed() {}
};

// Before main, or on the main thread: a provider that wants to hear of
// clients and output ports. Providers whose endpoints tests add need not.
void registerProvider(Provider* provider);

// Main thread: adds an endpoint behind the ones already listed and answers
// its reference (0 when the endpoint table is full).
MIDIEndpointRef addSource(Provider* provider, uint32_t localId);
MIDIEndpointRef addDestination(Provider* provider, uint32_t localId);
// Main thread: removes an endpoint from the lists; its connections end.
// Nothing may send to it while it is removed.
void removeEndpoint(MIDIEndpointRef endpoint);

// The byte size of a packet list whose packets all lie inside the first
// limit bytes, or 0 when the list runs past the limit. Any thread.
std::size_t packetListSize(const MIDIPacketList* list, std::size_t limit);

// Largest packet list that one delivery can carry.
constexpr std::size_t kMaxDeliveredListBytes = 65536;

// A path for packet lists from one producer thread to the MIDI receive
// thread. Channels live as long as the process.
class DeliveryChannel {
public:
    virtual ~DeliveryChannel() = default;
    // Producer thread, real-time safe: queues a packet list that source
    // delivered. False when the list is malformed (its packets run past
    // byteSize), too large, or the channel is full; nothing is queued then.
    virtual bool deliver(MIDIEndpointRef source, const MIDIPacketList* list, std::size_t byteSize) = 0;
};

// Main thread: a new channel, or null when every channel is taken.
DeliveryChannel* openDeliveryChannel();

// Any thread but the receive thread: returns once every packet list queued
// before the call has been handed to the read procedures.
void waitUntilHandled();

// True on the MIDI receive thread.
bool isReceiveThread();

} // namespace vt::platform::midi
