#include "JackMidiProvider.h"

#include "JackServer.h"

#include "../../CoreFoundation/CFStringImpl.h"

#include <jack/metadata.h>
#include <jack/midiport.h>
#include <jack/uuid.h>
#include <mach/mach_time.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace vt::platform::midi {

namespace {

// The name a user knows a port by: its pretty name, else its first alias,
// else "client:port".
std::string displayNameOf(jack_port_t* port, const char* fullName)
{
    std::string name = fullName;
    jack_uuid_t uuid = jack_port_uuid(port);
    char* value = nullptr;
    char* type = nullptr;
    if (!jack_uuid_empty(uuid) && jack_get_property(uuid, JACK_METADATA_PRETTY_NAME, &value, &type) == 0) {
        if (value != nullptr && *value != '\0')
            name = value;
        jack_free(value);
        jack_free(type);
        return name;
    }
    int size = jack_port_name_size();
    std::vector<char> first(static_cast<size_t>(size)), second(static_cast<size_t>(size));
    char* aliases[2] = {first.data(), second.data()};
    if (jack_port_get_aliases(port, aliases) > 0 && first[0] != '\0')
        name = first.data();
    return name;
}

} // namespace

JackMidiProvider& JackMidiProvider::instance()
{
    // Lives until exit, like the server that points at it.
    static JackMidiProvider& provider = *new JackMidiProvider;
    return provider;
}

JackMidiProvider::JackMidiProvider()
{
    registerProvider(this);
}

namespace {
const bool registered = (JackMidiProvider::instance(), true);
} // namespace

// ------------------------------------------------------------ client

void JackMidiProvider::clientCreated()
{
    ++m_clients;
    if (m_client != nullptr && m_serverGone.load() && m_outputUsers == 0)
        closeClient();
    if (m_client == nullptr)
        openClient();
    if (m_client != nullptr && !m_serverGone.load())
        listEndpoints();
}

void JackMidiProvider::clientDisposed()
{
    if (m_clients > 0 && --m_clients == 0)
        closeClient();
}

void JackMidiProvider::openClient()
{
    if (m_channel == nullptr)
        m_channel = openDeliveryChannel();
    m_client = jack::openClient("Veltrane MIDI");
    if (m_client == nullptr)
        return;
    m_serverGone.store(false);
    jack_set_process_callback(m_client, &JackMidiProvider::process, this);
    jack_on_shutdown(m_client, &JackMidiProvider::shutdown, this);
    if (jack_activate(m_client) != 0) {
        jack_client_close(m_client);
        m_client = nullptr;
        return;
    }
    m_connectorStop.store(false);
    m_connector = std::thread([this] { runConnector(); });
}

void JackMidiProvider::closeClient()
{
    if (m_client == nullptr)
        return;
    // ---- the connector ends first, then nothing runs in the process thread
    m_connectorStop.store(true);
    m_connectWake.release();
    if (m_connector.joinable())
        m_connector.join();
    for (InputSlot& slot : m_inputs) {
        slot.port.store(nullptr);
        slot.localId = kNone;
    }
    m_outPort.store(nullptr);
    quiesce();
    if (!m_serverGone.load())
        jack_deactivate(m_client);
    jack_client_close(m_client);
    m_client = nullptr;
    m_outputUsers = 0;
    m_hasPending = false;
    m_connectedDestination.store(kNone);
    m_failedDestination.store(kNone);
    m_wantedDestination.store(kNone);
}

void JackMidiProvider::quiesce() const
{
    while (m_inCycle.load())
        std::this_thread::sleep_for(std::chrono::microseconds(100));
}

void JackMidiProvider::listEndpoints()
{
    // Ports already listed keep their endpoint (and index); new ones are
    // listed behind them.
    std::string own = std::string(jack_get_client_name(m_client)) + ":";
    for (bool source : {true, false}) {
        const char** names =
            jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, source ? JackPortIsOutput : JackPortIsInput);
        for (const char** name = names; name != nullptr && *name != nullptr; ++name) {
            if (std::strncmp(*name, own.c_str(), own.size()) == 0)
                continue;
            uint32_t count = m_endpointCount.load();
            bool listed = false;
            for (uint32_t i = 0; i < count && !listed; ++i)
                listed = m_endpoints[i].source == source && m_endpoints[i].port == *name;
            if (listed || count >= kMaxEndpoints)
                continue;
            jack_port_t* port = jack_port_by_name(m_client, *name);
            if (port == nullptr)
                continue;
            m_endpoints[count] = Endpoint{*name, displayNameOf(port, *name), source, 0};
            m_endpointCount.store(count + 1);
            m_endpoints[count].ref = source ? addSource(this, count) : addDestination(this, count);
        }
        jack_free(names);
    }
}

CFStringRef JackMidiProvider::copyName(uint32_t localId, NameProperty property)
{
    if (localId >= m_endpointCount.load())
        return nullptr;
    const Endpoint& endpoint = m_endpoints[localId];
    return vt::cf::createString(property == NameProperty::displayName ? endpoint.displayName : endpoint.port);
}

// ------------------------------------------------------------ input

void JackMidiProvider::sourceConnected(uint32_t localId, const char* portName)
{
    if (m_client == nullptr || m_serverGone.load() || localId >= m_endpointCount.load())
        return;
    auto free =
        std::find_if(std::begin(m_inputs), std::end(m_inputs), [](const InputSlot& s) { return s.localId == kNone; });
    if (free == std::end(m_inputs))
        return;
    // ---- JACK port names are unique within a client: the second source
    // opened gets "Veltrane MidiInput 2"
    std::string base = portName != nullptr && *portName != '\0' ? portName : "MidiInput";
    jack_port_t* port = nullptr;
    for (int n = 1; port == nullptr && n <= static_cast<int>(kMaxInputs) + 1; ++n) {
        std::string name = n == 1 ? base : base + " " + std::to_string(n);
        if (jack_port_by_name(m_client, (std::string(jack_get_client_name(m_client)) + ":" + name).c_str()) == nullptr)
            port = jack_port_register(m_client, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    }
    if (port == nullptr)
        return;
    // A source that is gone delivers nothing; its port waits for it.
    jack_connect(m_client, m_endpoints[localId].port.c_str(), jack_port_name(port));
    free->localId = localId;
    free->source.store(m_endpoints[localId].ref);
    free->port.store(port);
}

void JackMidiProvider::sourceDisconnected(uint32_t localId)
{
    for (InputSlot& slot : m_inputs) {
        if (slot.localId != localId)
            continue;
        jack_port_t* port = slot.port.exchange(nullptr);
        quiesce();
        if (port != nullptr && m_client != nullptr && !m_serverGone.load())
            jack_port_unregister(m_client, port);
        slot.localId = kNone;
    }
}

void JackMidiProvider::deliverInput(jack_nframes_t frames, uint64_t cycleStart, double nanosPerFrame)
{
    for (InputSlot& slot : m_inputs) {
        jack_port_t* port = slot.port.load();
        if (port == nullptr || m_channel == nullptr)
            continue;
        void* buffer = jack_port_get_buffer(port, frames);
        uint32_t count = jack_midi_get_event_count(buffer);
        if (count == 0)
            continue;
        // ---- one packet per event, stamped with the cycle's start plus
        // the event's frame offset
        auto* list = reinterpret_cast<MIDIPacketList*>(m_scratch);
        list->numPackets = 0;
        MIDIPacket* packet = &list->packet[0];
        for (uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0 || event.size > 0xFFFF)
                continue;
            auto* at = reinterpret_cast<Byte*>(packet);
            if (at + offsetof(MIDIPacket, data) + event.size > m_scratch + sizeof m_scratch)
                break;
            MIDITimeStamp time = cycleStart + static_cast<uint64_t>(event.time * nanosPerFrame);
            auto length = static_cast<UInt16>(event.size);
            std::memcpy(at, &time, sizeof time);
            std::memcpy(at + offsetof(MIDIPacket, length), &length, sizeof length);
            std::memcpy(at + offsetof(MIDIPacket, data), event.buffer, event.size);
            ++list->numPackets;
            packet = MIDIPacketNext(packet);
        }
        if (list->numPackets > 0)
            m_channel->deliver(slot.source.load(), list,
                               static_cast<size_t>(reinterpret_cast<Byte*>(packet) - m_scratch));
    }
}

// ------------------------------------------------------------ output

void JackMidiProvider::outputPortCreated(const char* portName)
{
    if (++m_outputUsers > 1 || m_client == nullptr || m_serverGone.load())
        return;
    std::lock_guard<std::mutex> lock(m_portMutex);
    std::string name = portName != nullptr && *portName != '\0' ? portName : "MidiOutput";
    m_outPort.store(jack_port_register(m_client, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0));
}

void JackMidiProvider::outputPortDisposed()
{
    if (m_outputUsers == 0 || --m_outputUsers > 0)
        return;
    std::lock_guard<std::mutex> lock(m_portMutex);
    jack_port_t* port = m_outPort.exchange(nullptr);
    quiesce();
    if (port != nullptr && m_client != nullptr && !m_serverGone.load())
        jack_port_unregister(m_client, port);
    m_connectedDestination.store(kNone);
    m_failedDestination.store(kNone);
}

OSStatus JackMidiProvider::send(uint32_t localId, const MIDIPacketList* list)
{
    if (localId >= m_endpointCount.load(std::memory_order_acquire) || m_outPort.load() == nullptr)
        return noErr; // a destination that is gone takes nothing
    UInt32 count;
    std::memcpy(&count, list, sizeof count);
    const MIDIPacket* packet = &list->packet[0];
    for (UInt32 i = 0; i < count; ++i) {
        const auto* bytes = reinterpret_cast<const Byte*>(packet);
        OutHeader header{localId, 0, 0};
        UInt16 length;
        std::memcpy(&header.time, bytes, sizeof header.time);
        std::memcpy(&length, bytes + offsetof(MIDIPacket, length), sizeof length);
        header.length = length;
        if (length > sizeof m_pendingBytes ||
            !m_outRing.push(&header, sizeof header, bytes + offsetof(MIDIPacket, data), length))
            return kMIDIMessageSendErr;
        packet = MIDIPacketNext(packet);
    }
    return noErr;
}

void JackMidiProvider::writeOutput(jack_nframes_t frames, uint64_t cycleStart, double nanosPerFrame)
{
    jack_port_t* port = m_outPort.load();
    if (port == nullptr)
        return;
    void* buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);
    const uint64_t cycleEnd = cycleStart + static_cast<uint64_t>(frames * nanosPerFrame);
    jack_nframes_t last = 0;
    for (;;) {
        if (!m_hasPending) {
            std::size_t bytes = 0;
            if (!m_outRing.pop(&m_pending, sizeof m_pending, m_pendingBytes, sizeof m_pendingBytes, bytes))
                return;
            m_hasPending = true;
        }
        const uint32_t destination = m_pending.destination;
        // ---- a destination that cannot be reached takes nothing; one not
        // yet connected keeps its events until the connector is done
        if (destination == m_failedDestination.load()) {
            m_hasPending = false;
            continue;
        }
        if (destination != m_connectedDestination.load()) {
            if (m_wantedDestination.exchange(destination) != destination)
                m_connectWake.release();
            return;
        }
        // Stamps in the past (the plug-in's delta frames) go out at once;
        // later ones wait for their cycle.
        if (m_pending.time >= cycleEnd)
            return;
        jack_nframes_t offset = m_pending.time <= cycleStart
                                    ? 0
                                    : static_cast<jack_nframes_t>((m_pending.time - cycleStart) / nanosPerFrame);
        offset = std::min(std::max(offset, last), frames - 1);
        if (jack_midi_event_write(buffer, offset, m_pendingBytes, m_pending.length) != 0)
            return; // the port's buffer is full: the rest goes next cycle
        last = offset;
        m_hasPending = false;
    }
}

void JackMidiProvider::runConnector()
{
    for (;;) {
        m_connectWake.acquire();
        if (m_connectorStop.load())
            return;
        uint32_t wanted = m_wantedDestination.load();
        if (wanted == kNone || wanted == m_connectedDestination.load() || wanted >= m_endpointCount.load())
            continue;
        std::lock_guard<std::mutex> lock(m_portMutex);
        jack_port_t* port = m_outPort.load();
        if (port == nullptr || m_serverGone.load())
            continue;
        jack_port_disconnect(m_client, port);
        int result = jack_connect(m_client, jack_port_name(port), m_endpoints[wanted].port.c_str());
        if (result == 0 || result == EEXIST)
            m_connectedDestination.store(wanted);
        else
            m_failedDestination.store(wanted);
    }
}

// ------------------------------------------------------------ process

// Per-cycle code is marked hot, so that it is kept together with the rest.
[[gnu::hot]] int JackMidiProvider::process(jack_nframes_t frames, void* arg)
{
    auto* self = static_cast<JackMidiProvider*>(arg);
    self->m_inCycle.store(true);
    // ---- the cycle's start on the host clock
    jack_nframes_t currentFrames = 0;
    jack_time_t currentUsecs = 0, nextUsecs = 0;
    float periodUsecs = 0;
    uint64_t hostNow = mach_absolute_time();
    uint64_t cycleStart = hostNow;
    if (jack_get_cycle_times(self->m_client, &currentFrames, &currentUsecs, &nextUsecs, &periodUsecs) == 0) {
        jack_time_t jackNow = jack_get_time();
        uint64_t since = jackNow > currentUsecs ? (jackNow - currentUsecs) * 1000 : 0;
        cycleStart = hostNow > since ? hostNow - since : 0;
    }
    double nanosPerFrame = 1e9 / jack_get_sample_rate(self->m_client);
    self->deliverInput(frames, cycleStart, nanosPerFrame);
    self->writeOutput(frames, cycleStart, nanosPerFrame);
    self->m_inCycle.store(false);
    return 0;
}

void JackMidiProvider::shutdown(void* arg)
{
    auto* self = static_cast<JackMidiProvider*>(arg);
    self->m_serverGone.store(true);
}

} // namespace vt::platform::midi
