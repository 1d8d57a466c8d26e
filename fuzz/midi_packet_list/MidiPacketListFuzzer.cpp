// Feeds arbitrary bytes to the MIDI layer's packet-list reader as a list
// of that many bytes: any packet count, any lengths, any data.
#include <VTCoreMidi.h>

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

void check(VTMidiMsg* msg, void*)
{
    // Every delivered message is consistent with its status byte.
    if (msg->command != (msg->status & 0xF0) || msg->channel != (msg->status & 0x0F) || msg->reference != nullptr)
        __builtin_trap();
    if (!(msg->time >= 0.0))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static VTCoreMidi midi;
    // The first byte seeds the previous time stamp, so time differences
    // are exercised too.
    midi.m_lastTime = size > 0 ? static_cast<uint64_t>(data[0]) << 20 : 0;
    // An exact-size, aligned copy: any read past the list is caught.
    std::unique_ptr<uint8_t[]> list(new uint8_t[size]);
    if (size > 0)
        std::memcpy(list.get(), data, size);
    VTCoreMidiInContext context{&check, nullptr, &midi};
    midi.readPacketList(reinterpret_cast<const MIDIPacketList*>(list.get()), size, context);
    return 0;
}
