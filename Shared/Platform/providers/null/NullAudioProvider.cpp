#include "NullAudioProvider.h"

namespace vt::platform::audio {

Provider& nullProvider()
{
    return NullAudioProvider::instance();
}

namespace {
// Last: the device of a machine where no other provider offers one.
const ProviderRegistration registration(&nullProvider, 100);
} // namespace

NullAudioDevice::NullAudioDevice() : Device(newObjectID()) {}

CFStringRef NullAudioDevice::copyName() const
{
    return CFStringCreateWithCString(nullptr, kName, kCFStringEncodingUTF8);
}

bool NullAudioDevice::startIO(IOClient* client)
{
    return m_paced.start(client, kChannels, kChannels, kBufferFrames, kSampleRate);
}

NullAudioProvider& NullAudioProvider::instance()
{
    static NullAudioProvider provider;
    return provider;
}

std::shared_ptr<NullAudioDevice> NullAudioProvider::device()
{
    // Made on first use, so its identifier comes from the common sequence.
    if (m_device == nullptr)
        m_device = std::make_shared<NullAudioDevice>();
    return m_device;
}

std::vector<std::shared_ptr<Device>> NullAudioProvider::devices()
{
    if (m_hidden)
        return {};
    return {device()};
}

AudioObjectID NullAudioProvider::defaultInputDevice()
{
    return m_hidden ? AudioObjectID{kAudioObjectUnknown} : device()->id();
}

AudioObjectID NullAudioProvider::defaultOutputDevice()
{
    return defaultInputDevice();
}

} // namespace vt::platform::audio

// Named by the fragment as a symbol every program needs, so the linker
// keeps this registration even though nothing calls into it.
extern "C" void vt_null_audio_provider_linked() {}
