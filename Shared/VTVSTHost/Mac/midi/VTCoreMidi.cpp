#include "VTCoreMidi.h"

#include <VTVSTInterface.h>

#include <cstring>
#include <limits>

MIDIPacketList VTCoreMidi::pktlist;

namespace {

// Bytes of the message that begins with status; 0 stands for the rest of
// the packet (system exclusive). There is no running status: a data byte in
// status position counts as a 3-byte message of its own.
std::size_t messageSize(Byte status)
{
    if (status < 0xC0)
        return 3;
    if (status < 0xE0)
        return 2; // program change, channel pressure
    if (status < 0xF0)
        return 3; // pitch bend
    switch (status) {
    case 0xF0:
        return 0;
    case 0xF1: // time code quarter frame
    case 0xF3: // song select
        return 2;
    case 0xF2: // song position
        return 3;
    default: // tune request, end of exclusive, real-time messages
        return 1;
    }
}

// The UTF-8 text of an endpoint name: the string's own buffer when it
// hands one out, else a conversion into a zeroed buffer, else the fallback.
std::string utf8Name(CFStringRef name, const char* fallback)
{
    if (const char* text = CFStringGetCStringPtr(name, kCFStringEncodingUTF8))
        return text;
    char buffer[512] = {};
    if (CFStringGetCString(name, buffer, sizeof buffer, kCFStringEncodingUTF8))
        return buffer;
    return fallback;
}

} // namespace

VTCoreMidi::VTCoreMidi()
{
    // A client that cannot be created leaves m_midiClient 0; start then
    // opens nothing.
    MIDIClientRef client = 0;
    if (MIDIClientCreate(CFSTR("Veltrane MIDI"), nullptr, nullptr, &client) == noErr)
        m_midiClient = client;
    addDevices(true);
    addDevices(false);
}

VTCoreMidi::~VTCoreMidi()
{
    // Disposing of the client closes its ports, so no read procedure runs
    // once the contexts and the message record go.
    if (m_midiClient != 0)
        MIDIClientDispose(m_midiClient);
    m_midiIns.clear();
}

void VTCoreMidi::addDevices(bool sources)
{
    for (ItemCount i = 0; i < (sources ? MIDIGetNumberOfSources() : MIDIGetNumberOfDestinations()); ++i) {
        MIDIEndpointRef endpoint = sources ? MIDIGetSource(i) : MIDIGetDestination(i);
        CFStringRef name = nullptr;
        if (MIDIObjectGetStringProperty(endpoint, kMIDIPropertyDisplayName, &name) != noErr || name == nullptr) {
            name = nullptr;
            if (MIDIObjectGetStringProperty(endpoint, kMIDIPropertyName, &name) != noErr || name == nullptr)
                continue; // an endpoint without a readable name is not listed
        }
        auto* device = new VTMidiDevice;
        device->index = static_cast<uint32_t>(i);
        device->type = 2;
        device->in = sources;
        device->active = sources;
        device->name = utf8Name(name, sources ? "Unknown Input Device" : "Unknown Output Device");
        CFRelease(name);
        m_devices.push_back(device);
    }
}

bool VTCoreMidi::start(VTMidiDevice* in, VTMidiDevice* out, void* callback, void* userData)
{
    if (in == nullptr && out == nullptr)
        return false;
    m_lastTime.store(0);

    // ---- one input port per opened source
    if (in != nullptr && m_midiClient != 0) {
        auto context = std::make_unique<VTCoreMidiInContext>(
            VTCoreMidiInContext{reinterpret_cast<VTMidiInCallback>(callback), userData, this});
        MIDIPortRef port = 0;
        MIDIInputPortCreate(m_midiClient, CFSTR("Veltrane MidiInput"), MidiInCallback, context.get(), &port);
        if (port == 0)
            return false;
        // The context must be in place before the first packet can arrive.
        m_inContexts.push_back(std::move(context));
        MIDIEndpointRef source = MIDIGetSource(in->index);
        MIDIPortConnectSource(port, source, nullptr);
        m_midiIns.push_back({port, source});
    }

    // ---- the output port
    if (out == nullptr || m_midiClient == 0)
        return true;
    m_midiOut.port.store(0);
    m_midiOut.endpoint.store(0);
    MIDIPortRef port = 0;
    MIDIOutputPortCreate(m_midiClient, CFSTR("Veltrane MidiOutput"), &port);
    if (port == 0)
        return false;
    m_midiOut.endpoint.store(MIDIGetDestination(out->index));
    m_midiOut.port.store(port);
    return true;
}

void VTCoreMidi::stop()
{
    for (const VTCoreMidiInConnection& connection : m_midiIns) {
        MIDIPortDisconnectSource(connection.port, connection.endpoint);
        MIDIPortDispose(connection.port);
    }
    m_midiIns.clear();
    MIDIPortRef out = m_midiOut.port.exchange(0);
    if (out != 0)
        MIDIPortDispose(out);
    // With their ports gone no read procedure can use the contexts.
    m_inContexts.clear();
}

void VTCoreMidi::MidiInCallback(const MIDIPacketList* pktlist, void* readProcRefCon, void*)
{
    auto* context = static_cast<const VTCoreMidiInContext*>(readProcRefCon);
    if (context == nullptr || pktlist == nullptr)
        return;
    // Core MIDI hands read procedures whole lists, so the walk needs no
    // bound of its own here.
    context->midi->readPacketList(pktlist, std::numeric_limits<std::size_t>::max(), *context);
}

void VTCoreMidi::readPacketList(const MIDIPacketList* list, std::size_t listBytes, const VTCoreMidiInContext& context)
{
    constexpr std::size_t listHeader = offsetof(MIDIPacketList, packet);
    constexpr std::size_t packetHeader = offsetof(MIDIPacket, data);
    if (list == nullptr || listBytes < listHeader)
        return;
    const Byte* base = reinterpret_cast<const Byte*>(list);
    // Packets after an odd length start at odd addresses on x86_64, so
    // their fields are read bytewise.
    UInt32 count;
    std::memcpy(&count, base, sizeof count);
    std::size_t offset = listHeader;
    for (UInt32 i = 0; i < count; ++i) {
        // A count that claims more packets than the list holds ends the walk.
        if (offset > listBytes || listBytes - offset < packetHeader)
            return;
        MIDITimeStamp timeStamp;
        UInt16 length;
        std::memcpy(&timeStamp, base + offset, sizeof timeStamp);
        std::memcpy(&length, base + offset + offsetof(MIDIPacket, length), sizeof length);
        if (listBytes - offset - packetHeader < length)
            return;
        readPacket(base + offset + packetHeader, length, timeStamp, context);
        const auto* packet = reinterpret_cast<const MIDIPacket*>(base + offset);
        offset = static_cast<std::size_t>(reinterpret_cast<const Byte*>(MIDIPacketNext(packet)) - base);
    }
}

void VTCoreMidi::readPacket(const Byte* data, std::size_t length, MIDITimeStamp timeStamp,
                            const VTCoreMidiInContext& context)
{
    std::size_t position = 0;
    while (position < length) {
        Byte status = data[position];
        std::size_t size = messageSize(status);
        if (size == 0)
            size = length - position;
        // A message cut off by the end of its packet is not delivered.
        if (size > length - position)
            return;

        VTMidiMsg& msg = *m_msg;
        msg.status = status;
        msg.command = status & 0xF0;
        msg.channel = status & 0x0F;
        if (size >= 2)
            msg.data1 = data[position + 1];
        if (size > 2)
            msg.data2 = data[position + 2];

        // Host time since the previous message times 0.000001, in single
        // precision. A packet stamped earlier than the previous one (another
        // source) counts as no time at all rather than wrapping around.
        uint64_t last = m_lastTime.load(std::memory_order_relaxed);
        if (last == 0 || timeStamp < last)
            msg.time = 0.0;
        else
            msg.time = static_cast<double>(static_cast<float>(timeStamp - last) * 0.000001f);
        m_lastTime.store(timeStamp, std::memory_order_relaxed);

        if (context.callback != nullptr)
            context.callback(m_msg, context.userData);
        position += size;
    }
}

void VTCoreMidi::sendMessage(const VstMidiEvent* event)
{
    MIDIPortRef port = m_midiOut.port.load();
    if (port == 0 || event == nullptr)
        return;
    pktlist.numPackets = 1;
    pktlist.packet[0].timeStamp = static_cast<MIDITimeStamp>(event->deltaFrames);
    pktlist.packet[0].length = 3;
    std::memcpy(pktlist.packet[0].data, event->midiData, 3);
    MIDISend(port, m_midiOut.endpoint.load(), &pktlist); // errors are ignored
}
