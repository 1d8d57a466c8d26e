// State of the MIDI server that the test-only library inspects and steers.
#pragma once

#include <CoreMIDI/CoreMIDI.h>

#include <atomic>
#include <string>
#include <vector>

namespace vt::platform::midi::detail {

// While set, the next creations of that kind fail as when the MIDI server
// cannot be reached.
struct Failures {
    std::atomic<bool> clientCreate{false};
    std::atomic<bool> inputPortCreate{false};
    std::atomic<bool> outputPortCreate{false};
};
Failures& failures();

struct ClientInfo {
    MIDIClientRef ref = 0;
    std::string name;
};

struct PortInfo {
    MIDIPortRef ref = 0;
    MIDIClientRef client = 0;
    bool input = false;
    std::string name;
    std::vector<MIDIEndpointRef> sources; // connected sources, input ports only
};

// Main thread: snapshots of the live clients and ports, oldest first.
std::vector<ClientInfo> clients();
std::vector<PortInfo> ports();

} // namespace vt::platform::midi::detail
