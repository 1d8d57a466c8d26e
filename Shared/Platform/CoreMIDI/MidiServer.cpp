// The MIDI server behind the Core MIDI calls: clients, ports, connections,
// the endpoint lists of every provider, and the receive thread that hands
// delivered packet lists to the read procedures.
#include "ByteRing.h"
#include "MidiProvider.h"
#include "MidiServerState.h"

#include "../CoreFoundation/CFStringImpl.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <semaphore>
#include <thread>

namespace vt::platform::midi {
namespace {

// References carry their kind in the top bits and are never reused, so a
// stale reference can never reach a newer object.
constexpr uint32_t kClientBase = 0x10000000;
constexpr uint32_t kPortBase = 0x20000000;
constexpr uint32_t kEndpointBase = 0x30000000;
constexpr uint32_t kSlots = 65536;

// Read without a lock by MIDISend, which may run on the audio thread.
struct EndpointSlot {
    std::atomic<Provider*> provider{nullptr};
    std::atomic<uint32_t> localId{0};
    std::atomic<bool> source{false};
};
EndpointSlot endpointSlots[kSlots];
std::atomic<bool> outputPortLive[kSlots];

struct Client {
    MIDIClientRef ref;
    std::string name;
};

struct Port {
    MIDIPortRef ref;
    MIDIClientRef client;
    bool input;
    std::string name;
    MIDIReadProc readProc;
    void* refCon;
};

struct Connection {
    MIDIPortRef port;
    MIDIEndpointRef source;
    void* refCon;
};

// Everything the main thread manages; the receive thread holds the lock
// while it calls read procedures, so a port that was disconnected or
// disposed is never called afterwards. Recursive, so a read procedure may
// itself manage ports.
struct Server {
    std::recursive_mutex mutex;
    std::vector<Client> clients;
    std::vector<Port> ports;
    std::vector<Connection> connections;
    std::vector<MIDIEndpointRef> sources;
    std::vector<MIDIEndpointRef> destinations;
    uint32_t nextClient = 1;
    uint32_t nextPort = 0;
    uint32_t nextEndpoint = 0;
};

// Providers that hear of clients and output ports; filled before main.
std::vector<Provider*>& listeners()
{
    static std::vector<Provider*> list;
    return list;
}

// Lives until exit: the receive thread may still use it while statics go.
Server& server()
{
    static Server& instance = *new Server;
    return instance;
}

std::string nameOf(CFStringRef name)
{
    return vt::cf::utf8(name).value_or(std::string());
}

EndpointSlot* slotOf(MIDIEndpointRef endpoint)
{
    if (endpoint < kEndpointBase || endpoint - kEndpointBase >= kSlots)
        return nullptr;
    EndpointSlot* slot = &endpointSlots[endpoint - kEndpointBase];
    return slot->provider.load(std::memory_order_acquire) == nullptr ? nullptr : slot;
}

Port* findPort(Server& s, MIDIPortRef ref)
{
    auto found = std::find_if(s.ports.begin(), s.ports.end(), [&](const Port& p) { return p.ref == ref; });
    return found == s.ports.end() ? nullptr : &*found;
}

bool sourceHasConnections(const Server& s, MIDIEndpointRef source)
{
    return std::any_of(s.connections.begin(), s.connections.end(),
                       [&](const Connection& c) { return c.source == source; });
}

// Ends one connection and tells the provider when its source lost the last.
void endConnection(Server& s, std::size_t index)
{
    MIDIEndpointRef source = s.connections[index].source;
    s.connections.erase(s.connections.begin() + static_cast<std::ptrdiff_t>(index));
    if (sourceHasConnections(s, source))
        return;
    if (EndpointSlot* slot = slotOf(source))
        slot->provider.load()->sourceDisconnected(slot->localId.load());
}

void disposePort(Server& s, MIDIPortRef ref)
{
    for (std::size_t i = s.connections.size(); i-- > 0;) {
        if (s.connections[i].port == ref)
            endConnection(s, i);
    }
    Port* port = findPort(s, ref);
    bool output = port != nullptr && !port->input;
    s.ports.erase(std::remove_if(s.ports.begin(), s.ports.end(), [&](const Port& p) { return p.ref == ref; }),
                  s.ports.end());
    outputPortLive[ref - kPortBase].store(false, std::memory_order_release);
    if (output)
        for (Provider* provider : listeners())
            provider->outputPortDisposed();
}

// The path of one producer's packet lists: each record is the source and
// the list.
class Ring final : public DeliveryChannel {
public:
    bool deliver(MIDIEndpointRef source, const MIDIPacketList* list, std::size_t byteSize) override;

    // Receive thread: the oldest list into out; false when empty.
    bool pop(MIDIEndpointRef& source, Byte* out, std::size_t& byteSize)
    {
        return m_ring.pop(&source, sizeof source, out, kMaxDeliveredListBytes, byteSize);
    }

private:
    ByteRing m_ring{1 << 20};
};

class Receiver {
public:
    static constexpr int kMaxChannels = 8;

    Receiver()
    {
        std::thread([this] { run(); }).detach();
    }

    DeliveryChannel* openChannel()
    {
        int index = m_channelCount.load();
        if (index >= kMaxChannels)
            return nullptr;
        auto* ring = new Ring;
        m_channels[static_cast<std::size_t>(index)].store(ring, std::memory_order_release);
        m_channelCount.store(index + 1, std::memory_order_release);
        return ring;
    }

    // Producer thread, after a record was committed.
    void queued()
    {
        m_queued.fetch_add(1, std::memory_order_acq_rel);
        m_wake.release();
    }

    void waitUntilHandled()
    {
        uint64_t target = m_queued.load(std::memory_order_acquire);
        std::unique_lock<std::mutex> lock(m_waitMutex);
        m_handledChanged.wait(lock, [&] { return m_handled >= target; });
    }

private:
    void run()
    {
        receiveThread = true;
        for (;;) {
            m_wake.acquire();
            bool any = true;
            while (any) {
                any = false;
                // One record per channel in turn, so no producer starves.
                int count = m_channelCount.load(std::memory_order_acquire);
                for (int i = 0; i < count; ++i) {
                    Ring* ring = m_channels[static_cast<std::size_t>(i)].load(std::memory_order_acquire);
                    MIDIEndpointRef source = 0;
                    std::size_t bytes = 0;
                    if (!ring->pop(source, m_scratch, bytes))
                        continue;
                    any = true;
                    dispatch(source, reinterpret_cast<const MIDIPacketList*>(m_scratch));
                    {
                        std::lock_guard<std::mutex> lock(m_waitMutex);
                        ++m_handled;
                    }
                    m_handledChanged.notify_all();
                }
            }
        }
    }

    static void dispatch(MIDIEndpointRef source, const MIDIPacketList* list)
    {
        Server& s = server();
        std::lock_guard<std::recursive_mutex> lock(s.mutex);
        // By index: a read procedure may change the connections.
        for (std::size_t i = 0; i < s.connections.size(); ++i) {
            Connection connection = s.connections[i];
            if (connection.source != source)
                continue;
            Port* port = findPort(s, connection.port);
            if (port != nullptr && port->readProc != nullptr)
                port->readProc(list, port->refCon, connection.refCon);
        }
    }

public:
    static thread_local bool receiveThread;

private:
    std::array<std::atomic<Ring*>, kMaxChannels> m_channels{};
    std::atomic<int> m_channelCount{0};
    std::counting_semaphore<> m_wake{0};
    std::atomic<uint64_t> m_queued{0};
    uint64_t m_handled = 0; // guarded by m_waitMutex
    std::mutex m_waitMutex;
    std::condition_variable m_handledChanged;
    alignas(8) Byte m_scratch[kMaxDeliveredListBytes];
};

thread_local bool Receiver::receiveThread = false;

// Started with the first client or channel; lives until exit.
Receiver& receiver()
{
    server();
    static Receiver& instance = *new Receiver;
    return instance;
}

bool Ring::deliver(MIDIEndpointRef source, const MIDIPacketList* list, std::size_t byteSize)
{
    if (byteSize > kMaxDeliveredListBytes || packetListSize(list, byteSize) == 0)
        return false;
    if (!m_ring.push(&source, sizeof source, list, byteSize))
        return false;
    receiver().queued();
    return true;
}

MIDIEndpointRef addEndpoint(Provider* provider, uint32_t localId, bool source)
{
    Server& s = server();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    if (provider == nullptr || s.nextEndpoint >= kSlots)
        return 0;
    uint32_t slot = s.nextEndpoint++;
    endpointSlots[slot].localId.store(localId);
    endpointSlots[slot].source.store(source);
    endpointSlots[slot].provider.store(provider, std::memory_order_release);
    MIDIEndpointRef ref = kEndpointBase + slot;
    (source ? s.sources : s.destinations).push_back(ref);
    return ref;
}

} // namespace

void registerProvider(Provider* provider)
{
    if (provider != nullptr)
        listeners().push_back(provider);
}

MIDIEndpointRef addSource(Provider* provider, uint32_t localId)
{
    return addEndpoint(provider, localId, true);
}

MIDIEndpointRef addDestination(Provider* provider, uint32_t localId)
{
    return addEndpoint(provider, localId, false);
}

void removeEndpoint(MIDIEndpointRef endpoint)
{
    Server& s = server();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    EndpointSlot* slot = slotOf(endpoint);
    if (slot == nullptr)
        return;
    for (std::size_t i = s.connections.size(); i-- > 0;) {
        if (s.connections[i].source == endpoint)
            endConnection(s, i);
    }
    auto& list = slot->source.load() ? s.sources : s.destinations;
    list.erase(std::remove(list.begin(), list.end(), endpoint), list.end());
    slot->provider.store(nullptr, std::memory_order_release);
}

DeliveryChannel* openDeliveryChannel()
{
    return receiver().openChannel();
}

void waitUntilHandled()
{
    receiver().waitUntilHandled();
}

bool isReceiveThread()
{
    return Receiver::receiveThread;
}

namespace detail {

Failures& failures()
{
    static Failures instance;
    return instance;
}

std::vector<ClientInfo> clients()
{
    Server& s = server();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    std::vector<ClientInfo> result;
    for (const Client& c : s.clients)
        result.push_back({c.ref, c.name});
    return result;
}

std::vector<PortInfo> ports()
{
    Server& s = server();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    std::vector<PortInfo> result;
    for (const Port& p : s.ports) {
        PortInfo info{p.ref, p.client, p.input, p.name, {}};
        for (const Connection& c : s.connections) {
            if (c.port == p.ref)
                info.sources.push_back(c.source);
        }
        result.push_back(std::move(info));
    }
    return result;
}

} // namespace detail
} // namespace vt::platform::midi

using namespace vt::platform::midi;

extern "C" {

const CFStringRef kMIDIPropertyName = CFSTR("name");
const CFStringRef kMIDIPropertyDisplayName = CFSTR("displayName");

OSStatus MIDIClientCreate(CFStringRef name, MIDINotifyProc, void*, MIDIClientRef* outClient)
{
    if (outClient == nullptr)
        return kMIDIInvalidClient;
    if (detail::failures().clientCreate.load())
        return kMIDIServerStartErr;
    receiver();
    Server& s = server();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    MIDIClientRef ref = kClientBase + s.nextClient++;
    s.clients.push_back({ref, nameOf(name)});
    *outClient = ref;
    for (Provider* provider : listeners())
        provider->clientCreated();
    return noErr;
}

OSStatus MIDIClientDispose(MIDIClientRef client)
{
    Server& s = server();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    auto found = std::find_if(s.clients.begin(), s.clients.end(), [&](const Client& c) { return c.ref == client; });
    if (found == s.clients.end())
        return kMIDIInvalidClient;
    s.clients.erase(found);
    std::vector<MIDIPortRef> owned;
    for (const Port& p : s.ports) {
        if (p.client == client)
            owned.push_back(p.ref);
    }
    for (MIDIPortRef port : owned)
        disposePort(s, port);
    for (Provider* provider : listeners())
        provider->clientDisposed();
    return noErr;
}

ItemCount MIDIGetNumberOfSources(void)
{
    Server& s = server();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    return static_cast<ItemCount>(s.sources.size());
}

MIDIEndpointRef MIDIGetSource(ItemCount sourceIndex0)
{
    Server& s = server();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    return sourceIndex0 < s.sources.size() ? s.sources[sourceIndex0] : 0;
}

ItemCount MIDIGetNumberOfDestinations(void)
{
    Server& s = server();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    return static_cast<ItemCount>(s.destinations.size());
}

MIDIEndpointRef MIDIGetDestination(ItemCount destIndex0)
{
    Server& s = server();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    return destIndex0 < s.destinations.size() ? s.destinations[destIndex0] : 0;
}

OSStatus MIDIObjectGetStringProperty(MIDIObjectRef obj, CFStringRef propertyID, CFStringRef* str)
{
    if (str == nullptr || propertyID == nullptr)
        return kMIDIUnknownProperty;
    NameProperty property;
    if (CFEqual(propertyID, kMIDIPropertyName))
        property = NameProperty::name;
    else if (CFEqual(propertyID, kMIDIPropertyDisplayName))
        property = NameProperty::displayName;
    else
        return kMIDIUnknownProperty;
    Server& s = server();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    EndpointSlot* slot = slotOf(obj);
    if (slot == nullptr)
        return kMIDIObjectNotFound;
    CFStringRef value = slot->provider.load()->copyName(slot->localId.load(), property);
    if (value == nullptr)
        return kMIDIUnknownProperty;
    *str = value;
    return noErr;
}

static OSStatus createPort(MIDIClientRef client, CFStringRef portName, bool input, MIDIReadProc readProc, void* refCon,
                           MIDIPortRef* outPort)
{
    if (outPort == nullptr)
        return kMIDIInvalidPort;
    Server& s = server();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    if (std::none_of(s.clients.begin(), s.clients.end(), [&](const Client& c) { return c.ref == client; }))
        return kMIDIInvalidClient;
    if ((input ? detail::failures().inputPortCreate : detail::failures().outputPortCreate).load())
        return kMIDIServerStartErr;
    if (s.nextPort >= kSlots)
        return kMIDIServerStartErr;
    MIDIPortRef ref = kPortBase + s.nextPort++;
    s.ports.push_back({ref, client, input, nameOf(portName), readProc, refCon});
    if (!input) {
        outputPortLive[ref - kPortBase].store(true, std::memory_order_release);
        for (Provider* provider : listeners())
            provider->outputPortCreated(s.ports.back().name.c_str());
    }
    *outPort = ref;
    return noErr;
}

OSStatus MIDIInputPortCreate(MIDIClientRef client, CFStringRef portName, MIDIReadProc readProc, void* refCon,
                             MIDIPortRef* outPort)
{
    return createPort(client, portName, true, readProc, refCon, outPort);
}

OSStatus MIDIOutputPortCreate(MIDIClientRef client, CFStringRef portName, MIDIPortRef* outPort)
{
    return createPort(client, portName, false, nullptr, nullptr, outPort);
}

OSStatus MIDIPortConnectSource(MIDIPortRef port, MIDIEndpointRef source, void* connRefCon)
{
    Server& s = server();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    Port* p = findPort(s, port);
    if (p == nullptr || !p->input)
        return kMIDIInvalidPort;
    EndpointSlot* slot = slotOf(source);
    if (slot == nullptr)
        return kMIDIUnknownEndpoint;
    if (!slot->source.load())
        return kMIDIWrongEndpointType;
    for (Connection& c : s.connections) {
        if (c.port == port && c.source == source) {
            c.refCon = connRefCon;
            return noErr;
        }
    }
    bool first = !sourceHasConnections(s, source);
    s.connections.push_back({port, source, connRefCon});
    if (first)
        slot->provider.load()->sourceConnected(slot->localId.load(), p->name.c_str());
    return noErr;
}

OSStatus MIDIPortDisconnectSource(MIDIPortRef port, MIDIEndpointRef source)
{
    Server& s = server();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    if (findPort(s, port) == nullptr)
        return kMIDIInvalidPort;
    for (std::size_t i = 0; i < s.connections.size(); ++i) {
        if (s.connections[i].port == port && s.connections[i].source == source) {
            endConnection(s, i);
            return noErr;
        }
    }
    return kMIDINoConnection;
}

OSStatus MIDIPortDispose(MIDIPortRef port)
{
    Server& s = server();
    std::lock_guard<std::recursive_mutex> lock(s.mutex);
    if (findPort(s, port) == nullptr)
        return kMIDIInvalidPort;
    disposePort(s, port);
    return noErr;
}

OSStatus MIDISend(MIDIPortRef port, MIDIEndpointRef dest, const MIDIPacketList* pktlist)
{
    if (port < kPortBase || port - kPortBase >= kSlots ||
        !outputPortLive[port - kPortBase].load(std::memory_order_acquire))
        return kMIDIInvalidPort;
    if (dest < kEndpointBase || dest - kEndpointBase >= kSlots)
        return kMIDIUnknownEndpoint;
    EndpointSlot& slot = endpointSlots[dest - kEndpointBase];
    Provider* provider = slot.provider.load(std::memory_order_acquire);
    if (provider == nullptr)
        return kMIDIUnknownEndpoint;
    if (slot.source.load(std::memory_order_relaxed))
        return kMIDIWrongEndpointType;
    if (pktlist == nullptr)
        return kMIDIMessageSendErr;
    return provider->send(slot.localId.load(std::memory_order_relaxed), pktlist);
}

} // extern "C"
