// The provider interface behind the Core Audio stand-in. Each provider
// (virtual devices for tests, JACK, the built-in null device) offers audio
// devices; the hardware layer (AudioHardware.cpp) answers the audio object
// properties from them and the output unit runs its stream on one of them.
#pragma once

#include <CoreAudio/CoreAudio.h>
#include <vtplatform/AudioServer.h>

#include <memory>
#include <string>
#include <vector>

namespace vt::platform::audio {

// The audio plug-in object that makes and removes aggregate devices, found
// through kAudioHardwarePropertyPlugInForBundleID.
constexpr AudioObjectID kCoreAudioPlugInObject = 2;
constexpr const char* kCoreAudioPlugInBundleID = "com.apple.audio.CoreAudio";

// One I/O cycle as a device hands it to the unit that runs on it. Pointers
// are one per device channel, non-interleaved, `frames` samples each.
struct IOCycle {
    const float* const* input = nullptr;
    UInt32 inputChannels = 0;
    float* const* output = nullptr;
    UInt32 outputChannels = 0;
    UInt32 frames = 0;
    // Not noErr when the device could not deliver input for this cycle;
    // pulling the input then fails with this status.
    OSStatus inputStatus = noErr;
    UInt64 hostTime = 0;
};

// What runs on a device: the output unit.
class IOClient {
public:
    // Audio thread (the device's I/O thread, or the test thread in manual
    // drive), real-time safe. Fills every output channel of the cycle.
    virtual OSStatus ioCycle(const IOCycle& cycle) = 0;
    // Main thread: whether the client pulls the device's input, so a device
    // that opens something per input channel can leave it closed.
    virtual bool usesInput() const { return true; }

protected:
    ~IOClient() = default;
};

// One device of a provider. Every member is main thread only unless noted.
class Device {
public:
    explicit Device(AudioObjectID id) : m_id(id) {}
    virtual ~Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    AudioObjectID id() const { return m_id; }

    // A +1 reference to the name, or null.
    virtual CFStringRef copyName() const = 0;
    virtual std::string uid() const = 0;
    virtual UInt32 transportType() const = 0;
    // Channel count of each stream buffer in one direction, in order.
    virtual std::vector<UInt32> streamBuffers(bool input) const = 0;
    virtual Float64 sampleRate() const = 0;
    virtual UInt32 bitsPerChannel() const { return 32; }
    virtual UInt32 bufferFrameSize() const = 0;

    // Aggregate devices answer these; others refuse them.
    virtual bool isAggregate() const { return false; }
    virtual std::vector<AudioObjectID> activeSubDevices() const { return {}; }
    virtual std::vector<std::string> fullSubDeviceList() const { return {}; }
    virtual OSStatus setFullSubDeviceList(const std::vector<std::shared_ptr<Device>>&)
    {
        return kAudioHardwareUnknownPropertyError;
    }
    virtual std::string masterSubDevice() const { return {}; }
    virtual OSStatus setMasterSubDevice(const std::string&) { return kAudioHardwareUnknownPropertyError; }

    // Starts calling client->ioCycle once per buffer, from the device's own
    // I/O thread or from a test's manual drive; false when it cannot run.
    virtual bool startIO(IOClient* client) = 0;
    // Returns once no cycle runs any more.
    virtual void stopIO() = 0;

    UInt32 channelCount(bool input) const
    {
        UInt32 total = 0;
        for (UInt32 channels : streamBuffers(input))
            total += channels;
        return total;
    }

private:
    const AudioObjectID m_id;
};

// A family of devices. Main thread only.
class Provider {
public:
    virtual ~Provider() = default;
    // The devices offered now, in the provider's order.
    virtual std::vector<std::shared_ptr<Device>> devices() = 0;
    virtual AudioObjectID defaultInputDevice() = 0;
    virtual AudioObjectID defaultOutputDevice() = 0;
    // True for a provider listed only when no other offers a device.
    virtual bool fallbackOnly() const { return false; }
    // A new, empty aggregate device, or null when the provider makes none.
    virtual std::shared_ptr<Device> createAggregate(const std::string&, const std::string&, bool) { return nullptr; }
    virtual bool destroyAggregate(AudioObjectID) { return false; }
    // A status to answer instead of the property (tests make single
    // properties fail); noErr when the property behaves.
    virtual OSStatus propertyFailure(AudioObjectID, const AudioObjectPropertyAddress&, bool /*write*/) const
    {
        return noErr;
    }
    // Takes a fresh look at what the provider offers; called when the
    // system asks for the device list. Devices keep their identifiers.
    virtual void refresh() {}
    // Fills the readout of the audio server behind the provider's devices;
    // false for a provider without a server.
    virtual bool serverReadout(AudioServerReadout&) { return false; }
};

// Providers register themselves, before main, with a rank: lower ranks
// are listed first (an outside server 0, virtual devices 10, the null
// device 100). Any thread before main; main thread afterwards.
void registerProvider(Provider* provider, int rank);
struct ProviderRegistration {
    ProviderRegistration(Provider& (*provider)(), int rank) { registerProvider(&provider(), rank); }
};

// Every registered provider, in rank order. Main thread only.
const std::vector<Provider*>& providers();
// A fresh audio object identifier. Any thread.
AudioObjectID newObjectID();
// The device with this identifier among the listed ones, or null.
std::shared_ptr<Device> findDevice(AudioObjectID id);
std::shared_ptr<Device> findDeviceByUID(const std::string& uid);

// The providers built into vtplatform.
Provider& virtualProvider();
Provider& nullProvider();

} // namespace vt::platform::audio
