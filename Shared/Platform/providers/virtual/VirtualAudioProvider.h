// Virtual audio devices: a world that tests build (any channel layout,
// rates, names, transport types, defaults, single failing properties),
// reached only through Platform/testing. In the shipped program the world
// is empty and the provider offers nothing.
#pragma once

#include "../../CoreAudio/AudioProvider.h"
#include "../../CoreAudio/PacedIO.h"

#include <atomic>
#include <mutex>
#include <optional>

namespace vt::platform::audio {

struct VirtualDeviceSpec {
    std::string name;
    // When set, the name is made from these UTF-16 units instead (a name
    // with an unpaired surrogate converts to no 8-bit encoding).
    std::optional<std::u16string> nameUnits;
    std::string uid;
    UInt32 transportType = kAudioDeviceTransportTypeUSB;
    std::vector<UInt32> inputBuffers;
    std::vector<UInt32> outputBuffers;
    Float64 sampleRate = 48000;
    UInt32 bufferFrameSize = 512;
    UInt32 bitsPerChannel = 32;
};

class VirtualAudioProvider;

class VirtualAudioDevice : public Device {
public:
    VirtualAudioDevice(AudioObjectID id, VirtualDeviceSpec spec, VirtualAudioProvider& provider);
    ~VirtualAudioDevice() override { stopIO(); }

    CFStringRef copyName() const override;
    std::string uid() const override { return m_spec.uid; }
    UInt32 transportType() const override { return m_spec.transportType; }
    std::vector<UInt32> streamBuffers(bool input) const override;
    Float64 sampleRate() const override { return m_spec.sampleRate; }
    UInt32 bitsPerChannel() const override { return m_spec.bitsPerChannel; }
    UInt32 bufferFrameSize() const override { return m_spec.bufferFrameSize; }

    bool startIO(IOClient* client) override;
    void stopIO() override;

    // Audio thread (the test thread in manual drive), real-time safe: runs
    // one cycle of the unit running on the device.
    OSStatus render(const IOCycle& cycle);
    bool running() const { return m_client.load(std::memory_order_acquire) != nullptr; }
    uint64_t pacedCycles() const { return m_paced.cycles(); }

protected:
    VirtualDeviceSpec m_spec;
    VirtualAudioProvider& m_provider;

private:
    std::atomic<IOClient*> m_client{nullptr};
    PacedIO m_paced;
};

// A device made of other virtual devices: its channels are its
// sub-devices' channels in sub-device order.
class VirtualAggregateDevice : public VirtualAudioDevice {
public:
    VirtualAggregateDevice(AudioObjectID id, VirtualDeviceSpec spec, bool isPrivate, VirtualAudioProvider& provider);

    std::vector<UInt32> streamBuffers(bool input) const override;
    Float64 sampleRate() const override;
    UInt32 bufferFrameSize() const override;
    bool isAggregate() const override { return true; }
    std::vector<AudioObjectID> activeSubDevices() const override;
    std::vector<std::string> fullSubDeviceList() const override;
    OSStatus setFullSubDeviceList(const std::vector<std::shared_ptr<Device>>& subDevices) override;
    std::string masterSubDevice() const override { return m_master; }
    OSStatus setMasterSubDevice(const std::string& uid) override;
    bool isPrivate() const { return m_isPrivate; }

private:
    const Device* clockDevice() const;

    bool m_isPrivate;
    std::vector<std::shared_ptr<Device>> m_subDevices;
    std::string m_master;
};

// A property of one object made to fail. kAnyAggregate stands for every
// aggregate device; kAnyScope for every scope.
struct PropertyFailure {
    static constexpr AudioObjectID kAnyAggregate = 0xFFFFFFFFU;
    static constexpr AudioObjectPropertyScope kAnyScope = 0;
    AudioObjectID object = 0;
    AudioObjectPropertySelector selector = 0;
    AudioObjectPropertyScope scope = kAnyScope;
    bool write = false;
    OSStatus status = kAudioHardwareUnspecifiedError;
};

class VirtualAudioProvider : public Provider {
public:
    // Main thread only, as every call of the world.
    static VirtualAudioProvider& instance();

    std::vector<std::shared_ptr<Device>> devices() override;
    AudioObjectID defaultInputDevice() override;
    AudioObjectID defaultOutputDevice() override;
    std::shared_ptr<Device> createAggregate(const std::string& name, const std::string& uid, bool isPrivate) override;
    bool destroyAggregate(AudioObjectID id) override;
    OSStatus propertyFailure(AudioObjectID id, const AudioObjectPropertyAddress& address, bool write) const override;

    // The world, as tests build it.
    void reset();
    AudioObjectID addDevice(VirtualDeviceSpec spec);
    AudioObjectID addAggregate(const std::string& name, const std::string& uid,
                               const std::vector<std::string>& subUIDs);
    bool removeDevice(AudioObjectID id);
    void setDefaultDevices(AudioObjectID input, AudioObjectID output);
    void addFailure(const PropertyFailure& failure);
    void setPaced(bool paced) { m_paced = paced; }
    bool paced() const { return m_paced; }
    // Status of every input delivery from now on (noErr: input works).
    void setInputStatus(OSStatus status) { m_inputStatus.store(status); }
    OSStatus inputStatus() const { return m_inputStatus.load(std::memory_order_relaxed); }
    std::shared_ptr<VirtualAudioDevice> device(AudioObjectID id);
    std::vector<std::shared_ptr<VirtualAudioDevice>> allDevices();

private:
    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<VirtualAudioDevice>> m_devices;
    std::vector<PropertyFailure> m_failures;
    AudioObjectID m_defaultInput = kAudioObjectUnknown;
    AudioObjectID m_defaultOutput = kAudioObjectUnknown;
    bool m_paced = false;
    std::atomic<OSStatus> m_inputStatus{noErr};
};

} // namespace vt::platform::audio
