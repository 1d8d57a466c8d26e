#include "VTVirtualMidi.h"

#include "../CoreMIDI/MidiServerState.h"
#include "../providers/virtual/VirtualMidiProvider.h"

#include <mach/mach_time.h>

#include <algorithm>
#include <cstring>

namespace vt::testing {
namespace {

using vt::platform::midi::VirtualMidiProvider;
using vt::platform::midi::VirtualName;

VirtualName toVirtual(const MidiName& name)
{
    VirtualName result;
    result.kind = static_cast<VirtualName::Kind>(name.kind);
    result.text = name.utf8Text;
    result.units = name.units;
    return result;
}

} // namespace

MidiName MidiName::text(std::string utf8)
{
    MidiName name;
    name.kind = Kind::utf8;
    name.utf8Text = std::move(utf8);
    return name;
}

MidiName MidiName::utf16(std::u16string units)
{
    MidiName name;
    name.kind = Kind::utf16;
    name.units = std::move(units);
    return name;
}

MidiName MidiName::unreadable()
{
    return MidiName{};
}

MidiName MidiName::unconvertible()
{
    return utf16(std::u16string{u'A', char16_t(0xD800), u'B'});
}

std::vector<uint8_t> buildPacketList(const std::vector<MidiPacketSpec>& packets)
{
    std::vector<uint8_t> list(4);
    uint32_t count = static_cast<uint32_t>(packets.size());
    std::memcpy(list.data(), &count, sizeof count);
    for (const MidiPacketSpec& packet : packets) {
#if defined(__arm__) || defined(__aarch64__)
        list.resize((list.size() + 3) & ~std::size_t(3));
#endif
        std::size_t at = list.size();
        uint16_t length = static_cast<uint16_t>(packet.bytes.size());
        list.resize(at + 10 + length);
        std::memcpy(&list[at], &packet.time, 8);
        std::memcpy(&list[at + 8], &length, 2);
        std::copy(packet.bytes.begin(), packet.bytes.end(), list.begin() + static_cast<std::ptrdiff_t>(at + 10));
    }
    return list;
}

VirtualMidi::~VirtualMidi()
{
    waitUntilHandled();
    for (MIDIEndpointRef endpoint : m_endpoints)
        VirtualMidiProvider::instance().remove(endpoint);
    failClientCreation(false);
    failInputPorts(false);
    failOutputPorts(false);
}

MIDIEndpointRef VirtualMidi::addSource(MidiName displayName, MidiName name)
{
    MIDIEndpointRef ref = VirtualMidiProvider::instance().createSource(toVirtual(displayName), toVirtual(name));
    m_endpoints.push_back(ref);
    return ref;
}

MIDIEndpointRef VirtualMidi::addDestination(MidiName displayName, MidiName name)
{
    MIDIEndpointRef ref = VirtualMidiProvider::instance().createDestination(toVirtual(displayName), toVirtual(name));
    m_endpoints.push_back(ref);
    return ref;
}

void VirtualMidi::remove(MIDIEndpointRef endpoint)
{
    VirtualMidiProvider::instance().remove(endpoint);
    m_endpoints.erase(std::remove(m_endpoints.begin(), m_endpoints.end(), endpoint), m_endpoints.end());
}

bool VirtualMidi::deliver(MIDIEndpointRef source, const std::vector<MidiPacketSpec>& packets)
{
    return deliverBytes(source, buildPacketList(packets));
}

bool VirtualMidi::deliverNow(MIDIEndpointRef source, const std::vector<uint8_t>& bytes)
{
    return deliver(source, {{mach_absolute_time(), bytes}});
}

bool VirtualMidi::deliverBytes(MIDIEndpointRef source, const std::vector<uint8_t>& list)
{
    // The list header needs 4-byte alignment, which a vector's storage has.
    return VirtualMidiProvider::instance().deliver(source, reinterpret_cast<const MIDIPacketList*>(list.data()),
                                                   list.size());
}

void VirtualMidi::waitUntilHandled()
{
    vt::platform::midi::waitUntilHandled();
}

bool VirtualMidi::isConnected(MIDIEndpointRef source)
{
    return VirtualMidiProvider::instance().connected(source);
}

std::vector<MidiPacketSpec> VirtualMidi::takeSent(MIDIEndpointRef destination)
{
    std::vector<MidiPacketSpec> result;
    for (auto& packet : VirtualMidiProvider::instance().takeSent(destination))
        result.push_back({packet.time, std::move(packet.bytes)});
    return result;
}

void VirtualMidi::failClientCreation(bool fail)
{
    vt::platform::midi::detail::failures().clientCreate.store(fail);
}

void VirtualMidi::failInputPorts(bool fail)
{
    vt::platform::midi::detail::failures().inputPortCreate.store(fail);
}

void VirtualMidi::failOutputPorts(bool fail)
{
    vt::platform::midi::detail::failures().outputPortCreate.store(fail);
}

std::vector<MidiClientSnapshot> VirtualMidi::clients()
{
    std::vector<MidiClientSnapshot> result;
    for (const auto& client : vt::platform::midi::detail::clients())
        result.push_back({client.ref, client.name});
    return result;
}

std::vector<MidiPortSnapshot> VirtualMidi::ports()
{
    std::vector<MidiPortSnapshot> result;
    for (const auto& port : vt::platform::midi::detail::ports())
        result.push_back({port.ref, port.client, port.input, port.name, port.sources});
    return result;
}

} // namespace vt::testing
