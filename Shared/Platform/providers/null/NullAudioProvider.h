// The built-in null device: listed when no other provider offers a device,
// so the application always has an output to run on. Its input is silence;
// its own thread paces the stream at the device rate.
#pragma once

#include "../../CoreAudio/AudioProvider.h"
#include "../../CoreAudio/PacedIO.h"

namespace vt::platform::audio {

class NullAudioDevice : public Device {
public:
    static constexpr const char* kName = "Null Audio Device";
    static constexpr const char* kUID = "vt.null.audio";
    static constexpr UInt32 kChannels = 2;
    static constexpr Float64 kSampleRate = 48000;
    static constexpr UInt32 kBufferFrames = 512;

    NullAudioDevice();
    ~NullAudioDevice() override { stopIO(); }

    CFStringRef copyName() const override;
    std::string uid() const override { return kUID; }
    UInt32 transportType() const override { return kAudioDeviceTransportTypeVirtual; }
    std::vector<UInt32> streamBuffers(bool) const override { return {kChannels}; }
    Float64 sampleRate() const override { return kSampleRate; }
    UInt32 bufferFrameSize() const override { return kBufferFrames; }
    bool startIO(IOClient* client) override;
    void stopIO() override { m_paced.stop(); }
    // Any thread: buffers run since the stream started.
    uint64_t cycles() const { return m_paced.cycles(); }

private:
    PacedIO m_paced;
};

class NullAudioProvider : public Provider {
public:
    static NullAudioProvider& instance();

    std::vector<std::shared_ptr<Device>> devices() override;
    AudioObjectID defaultInputDevice() override;
    AudioObjectID defaultOutputDevice() override;
    bool fallbackOnly() const override { return true; }

    // Tests that need a machine without any device hide the null device.
    void setHidden(bool hidden) { m_hidden = hidden; }
    std::shared_ptr<NullAudioDevice> device();

private:
    std::shared_ptr<NullAudioDevice> m_device;
    bool m_hidden = false;
};

} // namespace vt::platform::audio
