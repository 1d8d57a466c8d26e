// Bounds of a packet list, walked the way MIDIPacketNext walks it.
#include "MidiProvider.h"

#include <cstddef>
#include <cstring>

namespace vt::platform::midi {

static_assert(offsetof(MIDIPacketList, packet) == 4);
static_assert(offsetof(MIDIPacket, length) == 8);
static_assert(offsetof(MIDIPacket, data) == 10);

std::size_t packetListSize(const MIDIPacketList* list, std::size_t limit)
{
    constexpr std::size_t header = offsetof(MIDIPacket, data);
    if (list == nullptr || limit < offsetof(MIDIPacketList, packet))
        return 0;
    const Byte* base = reinterpret_cast<const Byte*>(list);
    UInt32 count;
    std::memcpy(&count, base, sizeof count);
    std::size_t offset = offsetof(MIDIPacketList, packet);
    std::size_t end = offset;
    for (UInt32 i = 0; i < count; ++i) {
        if (offset > limit || limit - offset < header)
            return 0;
        UInt16 length;
        std::memcpy(&length, base + offset + offsetof(MIDIPacket, length), sizeof length);
        if (limit - offset - header < length)
            return 0;
        end = offset + header + length;
        const auto* packet = reinterpret_cast<const MIDIPacket*>(base + offset);
        offset = static_cast<std::size_t>(reinterpret_cast<const Byte*>(MIDIPacketNext(packet)) - base);
    }
    return end;
}

} // namespace vt::platform::midi
