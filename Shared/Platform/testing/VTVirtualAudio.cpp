#include "VTVirtualAudio.h"

#include "../providers/null/NullAudioProvider.h"
#include "../providers/virtual/VirtualAudioProvider.h"

using vt::platform::audio::NullAudioProvider;
using vt::platform::audio::PropertyFailure;
using vt::platform::audio::VirtualAudioProvider;

namespace vt::testing {

VirtualAudioStream::VirtualAudioStream(std::shared_ptr<vt::platform::audio::VirtualAudioDevice> device)
    : m_device(std::move(device))
{
    if (m_device != nullptr) {
        m_inputChannels = m_device->channelCount(true);
        m_outputChannels = m_device->channelCount(false);
    }
}

AudioObjectID VirtualAudioStream::deviceID() const
{
    return m_device != nullptr ? m_device->id() : AudioObjectID{kAudioObjectUnknown};
}

OSStatus VirtualAudioStream::render(UInt32 frames, const float* const* input, float* const* output) const
{
    if (m_device == nullptr)
        return kAudioHardwareBadDeviceError;
    vt::platform::audio::IOCycle cycle;
    cycle.input = input;
    cycle.inputChannels = m_inputChannels;
    cycle.output = output;
    cycle.outputChannels = m_outputChannels;
    cycle.frames = frames;
    return m_device->render(cycle);
}

VirtualAudioWorld::VirtualAudioWorld()
{
    VirtualAudioProvider::instance().reset();
    NullAudioProvider::instance().setHidden(false);
}

VirtualAudioWorld::~VirtualAudioWorld()
{
    VirtualAudioProvider::instance().reset();
    NullAudioProvider::instance().setHidden(false);
}

AudioObjectID VirtualAudioWorld::addDevice(const VirtualAudioDeviceSpec& spec)
{
    vt::platform::audio::VirtualDeviceSpec internal;
    internal.name = spec.name;
    internal.nameUnits = spec.nameUnits;
    internal.uid = spec.uid;
    internal.transportType = spec.transportType;
    internal.inputBuffers = spec.inputBuffers;
    internal.outputBuffers = spec.outputBuffers;
    internal.sampleRate = spec.sampleRate;
    internal.bufferFrameSize = spec.bufferFrameSize;
    internal.bitsPerChannel = spec.bitsPerChannel;
    return VirtualAudioProvider::instance().addDevice(std::move(internal));
}

AudioObjectID VirtualAudioWorld::addAggregate(const std::string& name, const std::string& uid,
                                              const std::vector<std::string>& subDeviceUIDs)
{
    return VirtualAudioProvider::instance().addAggregate(name, uid, subDeviceUIDs);
}

bool VirtualAudioWorld::removeDevice(AudioObjectID id)
{
    return VirtualAudioProvider::instance().removeDevice(id);
}

void VirtualAudioWorld::setDefaultDevices(AudioObjectID input, AudioObjectID output)
{
    VirtualAudioProvider::instance().setDefaultDevices(input, output);
}

void VirtualAudioWorld::failRead(AudioObjectID object, AudioObjectPropertySelector selector,
                                 AudioObjectPropertyScope scope, OSStatus status)
{
    VirtualAudioProvider::instance().addFailure(PropertyFailure{object, selector, scope, false, status});
}

void VirtualAudioWorld::failWrite(AudioObjectID object, AudioObjectPropertySelector selector, OSStatus status)
{
    VirtualAudioProvider::instance().addFailure(
        PropertyFailure{object, selector, PropertyFailure::kAnyScope, true, status});
}

void VirtualAudioWorld::failInput(OSStatus status)
{
    VirtualAudioProvider::instance().setInputStatus(status);
}

void VirtualAudioWorld::setPaced(bool paced)
{
    VirtualAudioProvider::instance().setPaced(paced);
}

void VirtualAudioWorld::hideNullDevice()
{
    NullAudioProvider::instance().setHidden(true);
}

std::vector<VirtualAggregateInfo> VirtualAudioWorld::aggregates() const
{
    std::vector<VirtualAggregateInfo> found;
    for (const auto& device : VirtualAudioProvider::instance().allDevices()) {
        if (!device->isAggregate())
            continue;
        VirtualAggregateInfo info;
        info.id = device->id();
        if (CFStringRef name = device->copyName()) {
            char text[512] = {};
            CFStringGetCString(name, text, sizeof text, kCFStringEncodingUTF8);
            info.name = text;
            CFRelease(name);
        }
        info.uid = device->uid();
        info.subDeviceUIDs = device->fullSubDeviceList();
        info.masterUID = device->masterSubDevice();
        if (auto aggregate = std::dynamic_pointer_cast<vt::platform::audio::VirtualAggregateDevice>(device))
            info.isPrivate = aggregate->isPrivate();
        info.inputChannels = device->channelCount(true);
        info.outputChannels = device->channelCount(false);
        found.push_back(info);
    }
    return found;
}

VirtualAudioStream VirtualAudioWorld::runningStream() const
{
    for (const auto& device : VirtualAudioProvider::instance().allDevices())
        if (device->running())
            return VirtualAudioStream(device);
    return VirtualAudioStream();
}

uint64_t VirtualAudioWorld::pacedCycles(AudioObjectID device) const
{
    auto found = VirtualAudioProvider::instance().device(device);
    return found != nullptr ? found->pacedCycles() : 0;
}

uint64_t VirtualAudioWorld::nullDeviceCycles() const
{
    return NullAudioProvider::instance().device()->cycles();
}

AudioObjectID VirtualAudioWorld::nullDeviceID() const
{
    return NullAudioProvider::instance().device()->id();
}

} // namespace vt::testing
