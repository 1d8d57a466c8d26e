#include "JackAudioProvider.h"

#include "JackServer.h"

#include "../../CoreFoundation/CFStringImpl.h"

#include <mach/mach_time.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace vt::platform::audio {

namespace {

Provider& jackProvider()
{
    return JackAudioProvider::instance();
}

// First: the devices of a running server come before every other kind.
const ProviderRegistration registration(&jackProvider, 0);

// The physical ports of the server, grouped by client name, in the order
// the server lists them.
std::vector<JackPortGroup> physicalGroups(jack_client_t* client)
{
    std::vector<JackPortGroup> groups;
    auto add = [&](unsigned long direction, bool capture) {
        const char** names = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | direction);
        for (const char** name = names; name != nullptr && *name != nullptr; ++name) {
            std::string full = *name;
            std::string group = full.substr(0, full.find(':'));
            auto found =
                std::find_if(groups.begin(), groups.end(), [&](const JackPortGroup& g) { return g.name == group; });
            if (found == groups.end()) {
                groups.push_back(JackPortGroup{group, {}, {}});
                found = groups.end() - 1;
            }
            (capture ? found->capture : found->playback).push_back(full);
        }
        jack_free(names);
    };
    // The server's capture ports are outputs of the graph, its playback
    // ports inputs.
    add(JackPortIsOutput, true);
    add(JackPortIsInput, false);
    return groups;
}

} // namespace

// ------------------------------------------------------------ devices

JackAudioDevice::JackAudioDevice(AudioObjectID id, JackPortGroup group, JackAudioProvider& provider)
    : Device(id), m_group(std::move(group)), m_provider(provider)
{
}

CFStringRef JackAudioDevice::copyName() const
{
    return vt::cf::createString(m_group.name);
}

std::vector<UInt32> JackAudioDevice::streamBuffers(bool input) const
{
    auto count = static_cast<UInt32>(input ? m_group.capture.size() : m_group.playback.size());
    if (count == 0)
        return {};
    return {count};
}

Float64 JackAudioDevice::sampleRate() const
{
    return m_provider.sampleRate();
}

UInt32 JackAudioDevice::bufferFrameSize() const
{
    return m_provider.period();
}

bool JackAudioDevice::startIO(IOClient* client)
{
    if (client == nullptr)
        return false;
    std::vector<std::string> capture = client->usesInput() ? m_group.capture : std::vector<std::string>{};
    return m_provider.startStream(this, capture, m_group.playback, client);
}

void JackAudioDevice::stopIO()
{
    m_provider.stopStream(this);
}

JackAggregateDevice::JackAggregateDevice(AudioObjectID id, std::string name, std::string uid,
                                         JackAudioProvider& provider)
    : JackAudioDevice(id, JackPortGroup{}, provider), m_name(std::move(name)), m_uid(std::move(uid))
{
}

CFStringRef JackAggregateDevice::copyName() const
{
    return vt::cf::createString(m_name);
}

std::vector<std::string> JackAggregateDevice::capturePorts() const
{
    return m_subDevices.empty() ? std::vector<std::string>{} : m_subDevices.front()->group().capture;
}

std::vector<std::string> JackAggregateDevice::playbackPorts() const
{
    return m_subDevices.empty() ? std::vector<std::string>{} : m_subDevices.back()->group().playback;
}

std::vector<UInt32> JackAggregateDevice::streamBuffers(bool input) const
{
    auto count = static_cast<UInt32>(input ? capturePorts().size() : playbackPorts().size());
    if (count == 0)
        return {};
    return {count};
}

bool JackAggregateDevice::startIO(IOClient* client)
{
    if (client == nullptr)
        return false;
    std::vector<std::string> capture = client->usesInput() ? capturePorts() : std::vector<std::string>{};
    return m_provider.startStream(this, capture, playbackPorts(), client);
}

std::vector<AudioObjectID> JackAggregateDevice::activeSubDevices() const
{
    std::vector<AudioObjectID> ids;
    for (const auto& sub : m_subDevices)
        ids.push_back(sub->id());
    return ids;
}

std::vector<std::string> JackAggregateDevice::fullSubDeviceList() const
{
    std::vector<std::string> uids;
    for (const auto& sub : m_subDevices)
        uids.push_back(sub->uid());
    return uids;
}

OSStatus JackAggregateDevice::setFullSubDeviceList(const std::vector<std::shared_ptr<Device>>& subDevices)
{
    std::vector<std::shared_ptr<JackAudioDevice>> subs;
    for (const auto& sub : subDevices) {
        auto jack = std::dynamic_pointer_cast<JackAudioDevice>(sub);
        // Only the server's own groups combine; their clock is the server's.
        if (jack == nullptr || sub->isAggregate())
            return kAudioHardwareBadDeviceError;
        subs.push_back(jack);
    }
    m_subDevices = std::move(subs);
    return noErr;
}

OSStatus JackAggregateDevice::setMasterSubDevice(const std::string& uid)
{
    for (const auto& sub : m_subDevices) {
        if (sub->uid() == uid) {
            m_master = uid;
            return noErr;
        }
    }
    return kAudioHardwareBadDeviceError;
}

// ------------------------------------------------------------ provider

JackAudioProvider& JackAudioProvider::instance()
{
    static JackAudioProvider provider;
    return provider;
}

JackAudioProvider::~JackAudioProvider()
{
    endStream();
    closeClient();
}

jack_client_t* JackAudioProvider::client()
{
    const bool streaming = m_streamDevice != nullptr;
    if (m_client != nullptr && !streaming && (m_serverGone.load() || m_serverName != jack::serverName()))
        closeClient();
    if (m_client != nullptr)
        return m_serverGone.load() ? nullptr : m_client;
    m_serverName = jack::serverName();
    m_client = jack::openClient(jack::applicationName());
    if (m_client == nullptr)
        return nullptr;
    m_serverGone.store(false);
    jack_set_process_callback(m_client, &JackAudioProvider::process, this);
    jack_set_buffer_size_callback(m_client, &JackAudioProvider::bufferSizeChanged, this);
    jack_set_xrun_callback(m_client, &JackAudioProvider::xrun, this);
    jack_on_shutdown(m_client, &JackAudioProvider::shutdown, this);
    m_sampleRate.store(jack_get_sample_rate(m_client));
    m_period.store(jack_get_buffer_size(m_client));
    return m_client;
}

void JackAudioProvider::closeClient()
{
    if (m_client == nullptr)
        return;
    jack_client_close(m_client);
    m_client = nullptr;
}

void JackAudioProvider::refresh()
{
    std::vector<JackPortGroup> groups;
    if (jack_client_t* c = client())
        groups = physicalGroups(c);
    // ---- groups keep their device (and identifier) across refreshes; a
    // group that went away is dropped unless a stream still runs on it
    std::vector<std::shared_ptr<JackAudioDevice>> kept;
    for (JackPortGroup& group : groups) {
        auto found = std::find_if(m_devices.begin(), m_devices.end(),
                                  [&](const auto& d) { return !d->isAggregate() && d->group().name == group.name; });
        if (found != m_devices.end()) {
            if (m_streamDevice != found->get())
                (*found)->setGroup(std::move(group));
            kept.push_back(*found);
        } else {
            kept.push_back(std::make_shared<JackAudioDevice>(newObjectID(), std::move(group), *this));
        }
    }
    for (const auto& device : m_devices) {
        bool listed = std::find(kept.begin(), kept.end(), device) != kept.end();
        if (!listed && (device->isAggregate() || device.get() == m_streamDevice))
            kept.push_back(device);
    }
    m_devices = std::move(kept);
}

std::vector<std::shared_ptr<Device>> JackAudioProvider::devices()
{
    return {m_devices.begin(), m_devices.end()};
}

AudioObjectID JackAudioProvider::defaultInputDevice()
{
    // The server's first group with channels in the direction.
    for (const auto& device : m_devices)
        if (!device->isAggregate() && !device->group().capture.empty())
            return device->id();
    return kAudioObjectUnknown;
}

AudioObjectID JackAudioProvider::defaultOutputDevice()
{
    for (const auto& device : m_devices)
        if (!device->isAggregate() && !device->group().playback.empty())
            return device->id();
    return kAudioObjectUnknown;
}

std::shared_ptr<Device> JackAudioProvider::createAggregate(const std::string& name, const std::string& uid, bool)
{
    // Aggregates combine the server's groups; without a server there are none.
    if (m_devices.empty())
        return nullptr;
    auto device = std::make_shared<JackAggregateDevice>(newObjectID(), name, uid, *this);
    m_devices.push_back(device);
    return device;
}

bool JackAudioProvider::destroyAggregate(AudioObjectID id)
{
    auto found = std::find_if(m_devices.begin(), m_devices.end(),
                              [id](const auto& d) { return d->id() == id && d->isAggregate(); });
    if (found == m_devices.end())
        return false;
    std::shared_ptr<JackAudioDevice> removed = *found;
    m_devices.erase(found);
    // A unit still running on it stops hearing from it.
    removed->stopIO();
    return true;
}

bool JackAudioProvider::serverReadout(AudioServerReadout& readout)
{
    jack_client_t* c = client();
    if (c == nullptr)
        return false;
    readout.serverRunning = true;
    readout.streamRunning = m_ioClient.load() != nullptr;
    readout.sampleRate = jack_get_sample_rate(c);
    readout.blockSize = jack_get_buffer_size(c);
    readout.latencyMs = readout.sampleRate > 0 ? 1000.0 * readout.blockSize / readout.sampleRate : 0.0;
    readout.dspLoad = jack_cpu_load(c);
    readout.xruns = readout.streamRunning ? m_xruns.load() : 0;
    return true;
}

bool JackAudioProvider::startStream(const Device* device, const std::vector<std::string>& capture,
                                    const std::vector<std::string>& playback, IOClient* ioClient)
{
    if (m_streamDevice != nullptr || playback.empty())
        return false;
    jack_client_t* c = client();
    if (c == nullptr)
        return false;
    m_streamDevice = device;

    // ---- one port per channel, made before the client joins the graph
    auto makePorts = [&](std::vector<jack_port_t*>& ports, size_t count, const char* prefix, unsigned long flags) {
        for (size_t i = 0; i < count; ++i) {
            std::string name = prefix + std::to_string(i + 1);
            jack_port_t* port = jack_port_register(c, name.c_str(), JACK_DEFAULT_AUDIO_TYPE, flags, 0);
            if (port == nullptr)
                return false;
            ports.push_back(port);
        }
        return true;
    };
    m_inBuffers.assign(capture.size(), nullptr);
    m_outBuffers.assign(playback.size(), nullptr);
    if (!makePorts(m_inPorts, capture.size(), "in_", JackPortIsInput) ||
        !makePorts(m_outPorts, playback.size(), "out_", JackPortIsOutput)) {
        endStream();
        return false;
    }

    // ---- run, then connect: the server connects only ports of active clients
    m_xruns.store(0);
    m_period.store(jack_get_buffer_size(c));
    m_ioClient.store(ioClient);
    if (jack_activate(c) != 0) {
        endStream();
        return false;
    }
    m_activated = true;
    for (size_t i = 0; i < capture.size(); ++i) {
        if (jack_connect(c, capture[i].c_str(), jack_port_name(m_inPorts[i])) != 0) {
            endStream();
            return false;
        }
    }
    for (size_t i = 0; i < playback.size(); ++i) {
        if (jack_connect(c, jack_port_name(m_outPorts[i]), playback[i].c_str()) != 0) {
            endStream();
            return false;
        }
    }
    return true;
}

void JackAudioProvider::stopStream(const Device* device)
{
    if (device == m_streamDevice && m_streamDevice != nullptr)
        endStream();
}

void JackAudioProvider::endStream()
{
    // ---- no new cycle reaches the unit; the one running ends first
    m_ioClient.store(nullptr);
    while (m_inCycle.load())
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    // ---- a server that went away takes no more requests
    if (m_client != nullptr && !m_serverGone.load()) {
        for (jack_port_t* port : m_inPorts)
            jack_port_disconnect(m_client, port);
        for (jack_port_t* port : m_outPorts)
            jack_port_disconnect(m_client, port);
        if (m_activated)
            jack_deactivate(m_client);
        for (jack_port_t* port : m_inPorts)
            jack_port_unregister(m_client, port);
        for (jack_port_t* port : m_outPorts)
            jack_port_unregister(m_client, port);
    }
    m_activated = false;
    m_inPorts.clear();
    m_outPorts.clear();
    m_streamDevice = nullptr;
    if (m_serverGone.load())
        closeClient();
}

// Every function a cycle runs through is marked hot, so that the linker
// keeps them together: a cycle that starts after the core idled then
// fetches them in a few cache misses rather than one per function,
// which at short periods costs more than the work itself.
[[gnu::hot]] int JackAudioProvider::process(jack_nframes_t frames, void* arg)
{
    auto* self = static_cast<JackAudioProvider*>(arg);
    // Marked before the unit is read, so endStream either sees this cycle
    // running or this cycle sees no unit.
    self->m_inCycle.store(true);
    IOClient* unit = self->m_ioClient.load();
    CycleObserver observer = self->m_observer.load();
    if (unit != nullptr) {
        uint64_t began = observer != nullptr ? mach_absolute_time() : 0;
        for (size_t i = 0; i < self->m_inPorts.size(); ++i)
            self->m_inBuffers[i] = static_cast<const float*>(jack_port_get_buffer(self->m_inPorts[i], frames));
        for (size_t i = 0; i < self->m_outPorts.size(); ++i)
            self->m_outBuffers[i] = static_cast<float*>(jack_port_get_buffer(self->m_outPorts[i], frames));
        IOCycle cycle;
        cycle.input = self->m_inBuffers.data();
        cycle.inputChannels = static_cast<UInt32>(self->m_inBuffers.size());
        cycle.output = self->m_outBuffers.data();
        cycle.outputChannels = static_cast<UInt32>(self->m_outBuffers.size());
        cycle.frames = frames;
        cycle.hostTime = mach_absolute_time();
        unit->ioCycle(cycle);
        if (observer != nullptr)
            observer(mach_absolute_time() - began, self->m_observerData.load());
    }
    self->m_inCycle.store(false);
    return 0;
}

int JackAudioProvider::bufferSizeChanged(jack_nframes_t frames, void* arg)
{
    static_cast<JackAudioProvider*>(arg)->m_period.store(frames);
    return 0;
}

int JackAudioProvider::xrun(void* arg)
{
    static_cast<JackAudioProvider*>(arg)->m_xruns.fetch_add(1);
    return 0;
}

void JackAudioProvider::shutdown(void* arg)
{
    // A server thread: only flags; the main thread closes the client.
    auto* self = static_cast<JackAudioProvider*>(arg);
    self->m_serverGone.store(true);
    self->m_ioClient.store(nullptr);
}

} // namespace vt::platform::audio

// Named by the fragment as a symbol every program that links the provider
// needs, so the linker keeps this registration.
extern "C" void vt_jack_audio_provider_linked() {}
