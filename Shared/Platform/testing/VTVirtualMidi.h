// Test-only control of the virtual MIDI world behind the Core MIDI
// stand-in. System code never includes this header.
#pragma once

#include <CoreMIDI/CoreMIDI.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vt::testing {

// One name property of a virtual endpoint.
struct MidiName {
    static MidiName text(std::string utf8);
    // Read as UTF-16 code units, so the text has no 8-bit original.
    static MidiName utf16(std::u16string units);
    // A property that cannot be read.
    static MidiName unreadable();
    // Readable, but no conversion to UTF-8 exists (an unpaired surrogate).
    static MidiName unconvertible();

    enum class Kind { missing, utf8, utf16 } kind = Kind::missing;
    std::string utf8Text;
    std::u16string units;
};

struct MidiPacketSpec {
    uint64_t time = 0; // host time stamp
    std::vector<uint8_t> bytes;
    bool operator==(const MidiPacketSpec&) const = default;
};

// The bytes of a packet list holding the packets, laid out as
// MIDIPacketNext walks it. The list starts at the vector's data.
std::vector<uint8_t> buildPacketList(const std::vector<MidiPacketSpec>& packets);

struct MidiPortSnapshot {
    MIDIPortRef ref = 0;
    MIDIClientRef client = 0;
    bool input = false;
    std::string name;
    std::vector<MIDIEndpointRef> sources; // connected sources
};

struct MidiClientSnapshot {
    MIDIClientRef ref = 0;
    std::string name;
};

// The virtual endpoints of one test. Main thread only. Destroying it waits
// until every delivered list was handled, removes its endpoints and clears
// the failures it set.
class VirtualMidi {
public:
    VirtualMidi() = default;
    ~VirtualMidi();
    VirtualMidi(const VirtualMidi&) = delete;
    VirtualMidi& operator=(const VirtualMidi&) = delete;

    // Endpoints are listed behind the existing ones, in creation order.
    MIDIEndpointRef addSource(MidiName displayName, MidiName name = MidiName::unreadable());
    MIDIEndpointRef addDestination(MidiName displayName, MidiName name = MidiName::unreadable());
    void remove(MIDIEndpointRef endpoint);

    // Queues one packet list from the source; the receive thread hands it to
    // the connected ports' read procedures. False when not queued.
    bool deliver(MIDIEndpointRef source, const std::vector<MidiPacketSpec>& packets);
    // One packet stamped with the host time now (mach_absolute_time, which
    // a ManualHostClock steers), as arriving input is stamped.
    bool deliverNow(MIDIEndpointRef source, const std::vector<uint8_t>& bytes);
    // Queues raw list bytes as they are (for malformed lists).
    bool deliverBytes(MIDIEndpointRef source, const std::vector<uint8_t>& list);
    // Returns once everything delivered so far has been handled.
    void waitUntilHandled();
    // True while a port is connected to the source.
    bool isConnected(MIDIEndpointRef source);

    // Every packet sent to the destination since the last take.
    std::vector<MidiPacketSpec> takeSent(MIDIEndpointRef destination);

    // While set, creations of that kind fail.
    void failClientCreation(bool fail);
    void failInputPorts(bool fail);
    void failOutputPorts(bool fail);

    std::vector<MidiClientSnapshot> clients();
    std::vector<MidiPortSnapshot> ports();

private:
    std::vector<MIDIEndpointRef> m_endpoints;
};

} // namespace vt::testing
