// Virtual MIDI endpoints that live in the process: tests define sources
// and destinations, deliver packets from the sources and read what was sent
// to the destinations. Reached by tests only through Platform/testing.
#pragma once

#include "../../CoreMIDI/ByteRing.h"
#include "../../CoreMIDI/MidiProvider.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vt::platform::midi {

// One name property of a virtual endpoint: missing (cannot be read), UTF-8
// text, or UTF-16 code units (which may hold text no 8-bit encoding can
// represent).
struct VirtualName {
    enum class Kind { missing, utf8, utf16 };
    Kind kind = Kind::missing;
    std::string text;
    std::u16string units;
};

struct VirtualPacket {
    MIDITimeStamp time = 0;
    std::vector<Byte> bytes;
};

class VirtualMidiProvider final : public Provider {
public:
    static VirtualMidiProvider& instance();

    // Main thread: a new endpoint listed behind the existing ones.
    MIDIEndpointRef createSource(VirtualName displayName, VirtualName name);
    MIDIEndpointRef createDestination(VirtualName displayName, VirtualName name);
    // Main thread, while nothing sends to it.
    void remove(MIDIEndpointRef endpoint);

    // Any thread: queues a packet list from a virtual source for the receive
    // thread; false when the list is malformed or not a virtual source.
    bool deliver(MIDIEndpointRef source, const MIDIPacketList* list, std::size_t byteSize);
    // Main thread: every packet sent to the destination since the last take.
    std::vector<VirtualPacket> takeSent(MIDIEndpointRef destination);
    // Main thread: true while at least one port is connected to the source.
    bool connected(MIDIEndpointRef source);

    CFStringRef copyName(uint32_t localId, NameProperty property) override;
    OSStatus send(uint32_t localId, const MIDIPacketList* list) override;
    void sourceConnected(uint32_t localId, const char* portName) override;
    void sourceDisconnected(uint32_t localId) override;

private:
    struct Endpoint {
        MIDIEndpointRef ref = 0;
        bool source = false;
        VirtualName displayName;
        VirtualName name;
        bool connected = false;
        // Sent packets, written by the sending thread (destinations only).
        std::unique_ptr<ByteRing> sent;
    };
    static constexpr uint32_t kMaxEndpoints = 65536;

    VirtualMidiProvider();
    MIDIEndpointRef create(bool source, VirtualName displayName, VirtualName name);
    Endpoint* find(MIDIEndpointRef ref);

    // Endpoints by local id, read without a lock by send.
    std::unique_ptr<std::atomic<Endpoint*>[]> m_endpoints;
    std::atomic<uint32_t> m_nextId{0};
    std::mutex m_deliverMutex; // deliveries share one channel
    DeliveryChannel* m_channel = nullptr;
};

} // namespace vt::platform::midi
