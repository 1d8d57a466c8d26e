#include "VTVSTMidiEvents.h"

#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

// Header with its two built-in slots, the extra slots, then the records.
constexpr size_t kPointerSlots = VTVSTMidiEvents::kMaxEvents + 1;
constexpr size_t kHeaderBytes = offsetof(VstEvents, events) + kPointerSlots * sizeof(VstEvent*);
constexpr size_t kRecordsOffset =
    (kHeaderBytes + alignof(VstMidiEvent) - 1) / alignof(VstMidiEvent) * alignof(VstMidiEvent);
constexpr size_t kBlockBytes = kRecordsOffset + VTVSTMidiEvents::kMaxEvents * sizeof(VstMidiEvent);

} // namespace

VTVSTMidiEvents::VTVSTMidiEvents()
{
    auto* block = static_cast<char*>(std::calloc(1, kBlockBytes));
    if (block == nullptr)
        throw std::bad_alloc();
    events = reinterpret_cast<VstEvents*>(block);
    midievents = reinterpret_cast<VstMidiEvent*>(block + kRecordsOffset);
    for (int i = 0; i < numMaxEvents; ++i) {
        VstMidiEvent& record = midievents[i];
        record.type = kVstMidiType;
        record.byteSize = sizeof(VstMidiEvent);
        record.flags = kVstMidiEventIsRealtime;
        events->events[i] = reinterpret_cast<VstEvent*>(&record);
    }
}

VTVSTMidiEvents::~VTVSTMidiEvents()
{
    std::free(events);
}

bool VTVSTMidiEvents::append(uint8_t status, uint8_t data1, uint8_t data2)
{
    if (idx >= numMaxEvents)
        return false;
    VstMidiEvent& record = midievents[idx];
    record.deltaFrames = 0;
    record.midiData[0] = static_cast<char>(status);
    record.midiData[1] = static_cast<char>(data1);
    record.midiData[2] = static_cast<char>(data2);
    record.midiData[3] = 0;
    ++idx;
    return true;
}
