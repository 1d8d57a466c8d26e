#include "VirtualMidiProvider.h"

#include "../../CoreFoundation/CFStringImpl.h"

#include <cstring>

namespace vt::platform::midi {

VirtualMidiProvider& VirtualMidiProvider::instance()
{
    // Lives until exit, like the server that points at it.
    static VirtualMidiProvider& provider = *new VirtualMidiProvider;
    return provider;
}

VirtualMidiProvider::VirtualMidiProvider()
    : m_endpoints(new std::atomic<Endpoint*>[kMaxEndpoints]()), m_channel(openDeliveryChannel())
{
}

MIDIEndpointRef VirtualMidiProvider::create(bool source, VirtualName displayName, VirtualName name)
{
    if (m_nextId >= kMaxEndpoints)
        return 0;
    uint32_t id = m_nextId++;
    auto* endpoint = new Endpoint;
    endpoint->source = source;
    endpoint->displayName = std::move(displayName);
    endpoint->name = std::move(name);
    if (!source)
        endpoint->sent = std::make_unique<ByteRing>(1 << 18);
    // Published only once its reference is known, for finds on other threads.
    endpoint->ref = source ? addSource(this, id) : addDestination(this, id);
    m_endpoints[id].store(endpoint, std::memory_order_release);
    return endpoint->ref;
}

MIDIEndpointRef VirtualMidiProvider::createSource(VirtualName displayName, VirtualName name)
{
    return create(true, std::move(displayName), std::move(name));
}

MIDIEndpointRef VirtualMidiProvider::createDestination(VirtualName displayName, VirtualName name)
{
    return create(false, std::move(displayName), std::move(name));
}

VirtualMidiProvider::Endpoint* VirtualMidiProvider::find(MIDIEndpointRef ref)
{
    for (uint32_t id = 0, count = m_nextId.load(); id < count; ++id) {
        Endpoint* endpoint = m_endpoints[id].load(std::memory_order_acquire);
        if (endpoint != nullptr && endpoint->ref == ref)
            return endpoint;
    }
    return nullptr;
}

void VirtualMidiProvider::remove(MIDIEndpointRef ref)
{
    for (uint32_t id = 0, count = m_nextId.load(); id < count; ++id) {
        Endpoint* endpoint = m_endpoints[id].load(std::memory_order_acquire);
        if (endpoint == nullptr || endpoint->ref != ref)
            continue;
        removeEndpoint(ref);
        m_endpoints[id].store(nullptr, std::memory_order_release);
        delete endpoint;
        return;
    }
}

bool VirtualMidiProvider::deliver(MIDIEndpointRef source, const MIDIPacketList* list, std::size_t byteSize)
{
    Endpoint* endpoint = find(source);
    if (endpoint == nullptr || !endpoint->source || m_channel == nullptr)
        return false;
    std::lock_guard<std::mutex> lock(m_deliverMutex);
    if (m_channel->deliver(source, list, byteSize))
        return true;
    // A full queue drains; a malformed list fails again.
    waitUntilHandled();
    return m_channel->deliver(source, list, byteSize);
}

std::vector<VirtualPacket> VirtualMidiProvider::takeSent(MIDIEndpointRef destination)
{
    std::vector<VirtualPacket> packets;
    Endpoint* endpoint = find(destination);
    if (endpoint == nullptr || endpoint->sent == nullptr)
        return packets;
    std::vector<Byte> body(kMaxDeliveredListBytes);
    MIDITimeStamp time = 0;
    std::size_t bytes = 0;
    while (endpoint->sent->pop(&time, sizeof time, body.data(), body.size(), bytes))
        packets.push_back({time, std::vector<Byte>(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(bytes))});
    return packets;
}

bool VirtualMidiProvider::connected(MIDIEndpointRef source)
{
    Endpoint* endpoint = find(source);
    return endpoint != nullptr && endpoint->connected;
}

CFStringRef VirtualMidiProvider::copyName(uint32_t localId, NameProperty property)
{
    Endpoint* endpoint = localId < kMaxEndpoints ? m_endpoints[localId].load() : nullptr;
    if (endpoint == nullptr)
        return nullptr;
    const VirtualName& name = property == NameProperty::name ? endpoint->name : endpoint->displayName;
    switch (name.kind) {
    case VirtualName::Kind::utf8:
        return vt::cf::createString(name.text);
    case VirtualName::Kind::utf16:
        return CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(name.units.data()),
                                            static_cast<CFIndex>(name.units.size()));
    case VirtualName::Kind::missing:
        break;
    }
    return nullptr;
}

OSStatus VirtualMidiProvider::send(uint32_t localId, const MIDIPacketList* list)
{
    Endpoint* endpoint = localId < kMaxEndpoints ? m_endpoints[localId].load(std::memory_order_acquire) : nullptr;
    if (endpoint == nullptr || endpoint->sent == nullptr)
        return kMIDIUnknownEndpoint;
    // Each packet is kept on its own, as a destination receives it.
    UInt32 count;
    std::memcpy(&count, list, sizeof count);
    const MIDIPacket* packet = &list->packet[0];
    for (UInt32 i = 0; i < count; ++i) {
        const Byte* bytes = reinterpret_cast<const Byte*>(packet);
        MIDITimeStamp time;
        UInt16 length;
        std::memcpy(&time, bytes, sizeof time);
        std::memcpy(&length, bytes + sizeof time, sizeof length);
        if (!endpoint->sent->push(&time, sizeof time, bytes + sizeof time + sizeof length, length))
            return kMIDIMessageSendErr;
        packet = MIDIPacketNext(packet);
    }
    return noErr;
}

void VirtualMidiProvider::sourceConnected(uint32_t localId, const char*)
{
    if (Endpoint* endpoint = localId < kMaxEndpoints ? m_endpoints[localId].load() : nullptr)
        endpoint->connected = true;
}

void VirtualMidiProvider::sourceDisconnected(uint32_t localId)
{
    if (Endpoint* endpoint = localId < kMaxEndpoints ? m_endpoints[localId].load() : nullptr)
        endpoint->connected = false;
}

} // namespace vt::platform::midi
