// Test-only control of the virtual audio world: devices of any layout,
// defaults, failing properties, and the manual drive of a running stream.
// System code never includes this header.
#pragma once

#include <CoreAudio/CoreAudio.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vt::platform::audio {
class VirtualAudioDevice;
}

namespace vt::testing {

struct VirtualAudioDeviceSpec {
    std::string name = "Virtual Device";
    // When set, the name is made from UTF-16 units instead of 8-bit text.
    std::optional<std::u16string> nameUnits;
    std::string uid; // empty: one is made up
    UInt32 transportType = kAudioDeviceTransportTypeUSB;
    std::vector<UInt32> inputBuffers;  // channels of each input buffer
    std::vector<UInt32> outputBuffers; // channels of each output buffer
    Float64 sampleRate = 48000;
    UInt32 bufferFrameSize = 512;
    UInt32 bitsPerChannel = 32;
};

struct VirtualAggregateInfo {
    AudioObjectID id = 0;
    std::string name;
    std::string uid;
    std::vector<std::string> subDeviceUIDs;
    std::string masterUID;
    bool isPrivate = false; // hidden from other applications
    UInt32 inputChannels = 0;
    UInt32 outputChannels = 0;
};

// The stream of the device a started output unit runs on.
class VirtualAudioStream {
public:
    VirtualAudioStream() = default;
    explicit VirtualAudioStream(std::shared_ptr<vt::platform::audio::VirtualAudioDevice> device);

    bool valid() const { return m_device != nullptr; }
    AudioObjectID deviceID() const;
    UInt32 inputChannels() const { return m_inputChannels; }
    UInt32 outputChannels() const { return m_outputChannels; }
    // Plays the audio thread (real-time safe): one buffer of `frames`;
    // `input` holds a pointer per input channel, `output` receives one per
    // output channel. Answers what the unit's render callback answered.
    OSStatus render(UInt32 frames, const float* const* input, float* const* output) const;

private:
    std::shared_ptr<vt::platform::audio::VirtualAudioDevice> m_device;
    UInt32 m_inputChannels = 0;
    UInt32 m_outputChannels = 0;
};

// The world, empty while one of these exists and again after it ends.
// Main thread only.
class VirtualAudioWorld {
public:
    VirtualAudioWorld();
    ~VirtualAudioWorld();
    VirtualAudioWorld(const VirtualAudioWorld&) = delete;
    VirtualAudioWorld& operator=(const VirtualAudioWorld&) = delete;

    AudioObjectID addDevice(const VirtualAudioDeviceSpec& spec);
    // An aggregate of existing devices, as an earlier run that crashed
    // leaves it behind.
    AudioObjectID addAggregate(const std::string& name, const std::string& uid,
                               const std::vector<std::string>& subDeviceUIDs);
    // The device is unplugged: it leaves the system's device list.
    bool removeDevice(AudioObjectID id);
    void setDefaultDevices(AudioObjectID input, AudioObjectID output);
    // Reading (or writing) the property of `object` in `scope` fails with
    // `status` from now on; anyScope matches every scope.
    static constexpr AudioObjectPropertyScope anyScope = 0;
    static constexpr AudioObjectID anyAggregate = 0xFFFFFFFFU;
    void failRead(AudioObjectID object, AudioObjectPropertySelector selector, AudioObjectPropertyScope scope = anyScope,
                  OSStatus status = kAudioHardwareUnspecifiedError);
    void failWrite(AudioObjectID object, AudioObjectPropertySelector selector,
                   OSStatus status = kAudioHardwareUnspecifiedError);
    // Every later pull of the input fails with this status (noErr: works).
    void failInput(OSStatus status);
    // Devices run their own paced I/O thread instead of the manual drive.
    void setPaced(bool paced);
    // The null device leaves the list, for a machine without any device.
    void hideNullDevice();

    std::vector<VirtualAggregateInfo> aggregates() const;
    // The device a started unit runs on; invalid when none runs.
    VirtualAudioStream runningStream() const;
    // Buffers that a paced device's thread has run since it started.
    uint64_t pacedCycles(AudioObjectID device) const;
    // Buffers that the null device's thread has run since it started.
    uint64_t nullDeviceCycles() const;
    AudioObjectID nullDeviceID() const;
};

} // namespace vt::testing
