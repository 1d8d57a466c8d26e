// Helpers shared by the MIDI tests.
#pragma once

#include <VTCoreMidi.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace vt::miditest {

// Collects a copy of every message the MIDI layer hands over, and the
// thread it came on.
struct Recorder {
    std::vector<VTMidiMsg> messages;
    std::vector<std::thread::id> threads;

    static void callback(VTMidiMsg* msg, void* self)
    {
        auto* recorder = static_cast<Recorder*>(self);
        recorder->messages.push_back(*msg);
        recorder->threads.push_back(std::this_thread::get_id());
    }
    VTCoreMidiInContext context(VTCoreMidi& midi) { return {&Recorder::callback, this, &midi}; }
};

// The list bytes in a buffer of exactly their size, so that AddressSanitizer
// reports any read past the end.
struct ExactList {
    explicit ExactList(const std::vector<uint8_t>& bytes) : size(bytes.size()), data(new uint8_t[bytes.size()])
    {
        std::memcpy(data.get(), bytes.data(), bytes.size());
    }
    const MIDIPacketList* list() const { return reinterpret_cast<const MIDIPacketList*>(data.get()); }
    std::size_t size;
    std::unique_ptr<uint8_t[]> data;
};

} // namespace vt::miditest
