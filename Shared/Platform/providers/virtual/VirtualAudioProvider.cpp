#include "VirtualAudioProvider.h"

#include "../../CoreFoundation/CFStringImpl.h"

#include <algorithm>

namespace vt::platform::audio {

Provider& virtualProvider()
{
    return VirtualAudioProvider::instance();
}

namespace {
// After an outside server's devices, before the null device.
const ProviderRegistration registration(&virtualProvider, 10);
} // namespace

// ------------------------------------------------------------ devices

VirtualAudioDevice::VirtualAudioDevice(AudioObjectID id, VirtualDeviceSpec spec, VirtualAudioProvider& provider)
    : Device(id), m_spec(std::move(spec)), m_provider(provider)
{
}

CFStringRef VirtualAudioDevice::copyName() const
{
    if (m_spec.nameUnits)
        return CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(m_spec.nameUnits->data()),
                                            static_cast<CFIndex>(m_spec.nameUnits->size()));
    return CFStringCreateWithCString(nullptr, m_spec.name.c_str(), kCFStringEncodingUTF8);
}

std::vector<UInt32> VirtualAudioDevice::streamBuffers(bool input) const
{
    return input ? m_spec.inputBuffers : m_spec.outputBuffers;
}

bool VirtualAudioDevice::startIO(IOClient* client)
{
    if (client == nullptr || running())
        return false;
    m_client.store(client, std::memory_order_release);
    if (m_provider.paced() &&
        !m_paced.start(client, channelCount(true), channelCount(false), bufferFrameSize(), sampleRate())) {
        m_client.store(nullptr, std::memory_order_release);
        return false;
    }
    return true;
}

void VirtualAudioDevice::stopIO()
{
    m_paced.stop();
    m_client.store(nullptr, std::memory_order_release);
}

OSStatus VirtualAudioDevice::render(const IOCycle& cycle)
{
    IOClient* client = m_client.load(std::memory_order_acquire);
    if (client == nullptr)
        return kAudioHardwareNotRunningError;
    IOCycle withInput = cycle;
    withInput.inputStatus = m_provider.inputStatus();
    return client->ioCycle(withInput);
}

// ---------------------------------------------------------- aggregates

VirtualAggregateDevice::VirtualAggregateDevice(AudioObjectID id, VirtualDeviceSpec spec, bool isPrivate,
                                               VirtualAudioProvider& provider)
    : VirtualAudioDevice(id, std::move(spec), provider), m_isPrivate(isPrivate)
{
}

std::vector<UInt32> VirtualAggregateDevice::streamBuffers(bool input) const
{
    std::vector<UInt32> buffers;
    for (const auto& sub : m_subDevices)
        for (UInt32 channels : sub->streamBuffers(input))
            buffers.push_back(channels);
    return buffers;
}

const Device* VirtualAggregateDevice::clockDevice() const
{
    for (const auto& sub : m_subDevices)
        if (sub->uid() == m_master)
            return sub.get();
    return m_subDevices.empty() ? nullptr : m_subDevices.front().get();
}

Float64 VirtualAggregateDevice::sampleRate() const
{
    const Device* clock = clockDevice();
    return clock != nullptr ? clock->sampleRate() : m_spec.sampleRate;
}

UInt32 VirtualAggregateDevice::bufferFrameSize() const
{
    const Device* clock = clockDevice();
    return clock != nullptr ? clock->bufferFrameSize() : m_spec.bufferFrameSize;
}

std::vector<AudioObjectID> VirtualAggregateDevice::activeSubDevices() const
{
    std::vector<AudioObjectID> ids;
    for (const auto& sub : m_subDevices)
        ids.push_back(sub->id());
    return ids;
}

std::vector<std::string> VirtualAggregateDevice::fullSubDeviceList() const
{
    std::vector<std::string> uids;
    for (const auto& sub : m_subDevices)
        uids.push_back(sub->uid());
    return uids;
}

OSStatus VirtualAggregateDevice::setFullSubDeviceList(const std::vector<std::shared_ptr<Device>>& subDevices)
{
    if (running())
        return kAudioHardwareIllegalOperationError;
    for (const auto& sub : subDevices)
        if (dynamic_cast<VirtualAudioDevice*>(sub.get()) == nullptr || sub->isAggregate())
            return kAudioHardwareBadDeviceError;
    m_subDevices = subDevices;
    return noErr;
}

OSStatus VirtualAggregateDevice::setMasterSubDevice(const std::string& uid)
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

VirtualAudioProvider& VirtualAudioProvider::instance()
{
    static VirtualAudioProvider provider;
    return provider;
}

std::vector<std::shared_ptr<Device>> VirtualAudioProvider::devices()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_devices.begin(), m_devices.end()};
}

AudioObjectID VirtualAudioProvider::defaultInputDevice()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_defaultInput;
}

AudioObjectID VirtualAudioProvider::defaultOutputDevice()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_defaultOutput;
}

std::shared_ptr<Device> VirtualAudioProvider::createAggregate(const std::string& name, const std::string& uid,
                                                              bool isPrivate)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // Aggregates combine devices of this world only; an empty world makes none.
    if (m_devices.empty())
        return nullptr;
    VirtualDeviceSpec spec;
    spec.name = name;
    spec.uid = uid;
    spec.transportType = kAudioDeviceTransportTypeAggregate;
    auto device = std::make_shared<VirtualAggregateDevice>(newObjectID(), std::move(spec), isPrivate, *this);
    m_devices.push_back(device);
    return device;
}

bool VirtualAudioProvider::destroyAggregate(AudioObjectID id)
{
    std::shared_ptr<VirtualAudioDevice> removed;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = std::find_if(m_devices.begin(), m_devices.end(),
                               [id](const auto& device) { return device->id() == id && device->isAggregate(); });
        if (it == m_devices.end())
            return false;
        removed = *it;
        m_devices.erase(it);
    }
    // A unit still running on it stops hearing from it.
    removed->stopIO();
    return true;
}

OSStatus VirtualAudioProvider::propertyFailure(AudioObjectID id, const AudioObjectPropertyAddress& address,
                                               bool write) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const PropertyFailure& failure : m_failures) {
        if (failure.selector != address.mSelector || failure.write != write)
            continue;
        if (failure.scope != PropertyFailure::kAnyScope && failure.scope != address.mScope)
            continue;
        bool matches = failure.object == id;
        if (failure.object == PropertyFailure::kAnyAggregate) {
            for (const auto& device : m_devices)
                matches = matches || (device->id() == id && device->isAggregate());
        }
        if (matches)
            return failure.status;
    }
    return noErr;
}

void VirtualAudioProvider::reset()
{
    std::vector<std::shared_ptr<VirtualAudioDevice>> old;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        old.swap(m_devices);
        m_failures.clear();
        m_defaultInput = kAudioObjectUnknown;
        m_defaultOutput = kAudioObjectUnknown;
        m_paced = false;
    }
    for (auto& device : old)
        device->stopIO();
    m_inputStatus.store(noErr);
}

AudioObjectID VirtualAudioProvider::addDevice(VirtualDeviceSpec spec)
{
    AudioObjectID id = newObjectID();
    if (spec.uid.empty())
        spec.uid = "vt.virtual.audio." + std::to_string(id);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devices.push_back(std::make_shared<VirtualAudioDevice>(id, std::move(spec), *this));
    return id;
}

AudioObjectID VirtualAudioProvider::addAggregate(const std::string& name, const std::string& uid,
                                                 const std::vector<std::string>& subUIDs)
{
    std::vector<std::shared_ptr<Device>> subs;
    for (const std::string& subUID : subUIDs)
        if (auto sub = findDeviceByUID(subUID))
            subs.push_back(sub);
    auto device = createAggregate(name, uid, true);
    if (device == nullptr || device->setFullSubDeviceList(subs) != noErr)
        return kAudioObjectUnknown;
    if (!subs.empty())
        device->setMasterSubDevice(subs.front()->uid());
    return device->id();
}

bool VirtualAudioProvider::removeDevice(AudioObjectID id)
{
    std::shared_ptr<VirtualAudioDevice> removed;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it =
            std::find_if(m_devices.begin(), m_devices.end(), [id](const auto& device) { return device->id() == id; });
        if (it == m_devices.end())
            return false;
        removed = *it;
        m_devices.erase(it);
    }
    removed->stopIO();
    return true;
}

void VirtualAudioProvider::setDefaultDevices(AudioObjectID input, AudioObjectID output)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_defaultInput = input;
    m_defaultOutput = output;
}

void VirtualAudioProvider::addFailure(const PropertyFailure& failure)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failures.push_back(failure);
}

std::shared_ptr<VirtualAudioDevice> VirtualAudioProvider::device(AudioObjectID id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& device : m_devices)
        if (device->id() == id)
            return device;
    return nullptr;
}

std::vector<std::shared_ptr<VirtualAudioDevice>> VirtualAudioProvider::allDevices()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_devices;
}

} // namespace vt::platform::audio

// Named by the fragment as a symbol every program needs, so the linker
// keeps this registration even though nothing calls into it.
extern "C" void vt_virtual_audio_provider_linked() {}
