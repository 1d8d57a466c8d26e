// Audio devices of a running JACK server (jackd2, or PipeWire's JACK
// service): one device per group of physical ports, the group being the
// part of the port name before the colon. The stream is one JACK client
// named after the application, with one port per channel it runs,
// connected to the device's physical ports at start and disconnected at
// stop. A server is never started on the user's behalf.
#pragma once

#include "../../CoreAudio/AudioProvider.h"

#include <jack/jack.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

namespace vt::platform::audio {

class JackAudioProvider;

// The physical ports of one group, as listed at the last refresh.
struct JackPortGroup {
    std::string name;
    std::vector<std::string> capture;  // ports the server reads from the hardware
    std::vector<std::string> playback; // ports the server plays
};

class JackAudioDevice : public Device {
public:
    JackAudioDevice(AudioObjectID id, JackPortGroup group, JackAudioProvider& provider);

    CFStringRef copyName() const override;
    std::string uid() const override { return "jack." + m_group.name; }
    UInt32 transportType() const override { return kAudioDeviceTransportTypeUnknown; }
    std::vector<UInt32> streamBuffers(bool input) const override;
    Float64 sampleRate() const override;
    UInt32 bufferFrameSize() const override;
    bool startIO(IOClient* client) override;
    void stopIO() override;

    const JackPortGroup& group() const { return m_group; }
    void setGroup(JackPortGroup group) { m_group = std::move(group); }

protected:
    JackPortGroup m_group;
    JackAudioProvider& m_provider;
};

// The input device's capture ports plus the output device's playback
// ports: the system lists the input device first and the output device
// last, so an output channel always means a channel of the output device.
class JackAggregateDevice : public JackAudioDevice {
public:
    JackAggregateDevice(AudioObjectID id, std::string name, std::string uid, JackAudioProvider& provider);

    CFStringRef copyName() const override;
    std::string uid() const override { return m_uid; }
    UInt32 transportType() const override { return kAudioDeviceTransportTypeAggregate; }
    std::vector<UInt32> streamBuffers(bool input) const override;
    bool startIO(IOClient* client) override;
    bool isAggregate() const override { return true; }
    std::vector<AudioObjectID> activeSubDevices() const override;
    std::vector<std::string> fullSubDeviceList() const override;
    OSStatus setFullSubDeviceList(const std::vector<std::shared_ptr<Device>>& subDevices) override;
    std::string masterSubDevice() const override { return m_master; }
    OSStatus setMasterSubDevice(const std::string& uid) override;

private:
    std::vector<std::string> capturePorts() const;
    std::vector<std::string> playbackPorts() const;

    std::string m_name;
    std::string m_uid;
    std::vector<std::shared_ptr<JackAudioDevice>> m_subDevices;
    std::string m_master;
};

class JackAudioProvider : public Provider {
public:
    static JackAudioProvider& instance();
    ~JackAudioProvider() override;

    std::vector<std::shared_ptr<Device>> devices() override;
    AudioObjectID defaultInputDevice() override;
    AudioObjectID defaultOutputDevice() override;
    std::shared_ptr<Device> createAggregate(const std::string& name, const std::string& uid, bool isPrivate) override;
    bool destroyAggregate(AudioObjectID id) override;
    void refresh() override;
    bool serverReadout(AudioServerReadout& readout) override;

    // Main thread: runs the stream of one device on these physical ports
    // (full names); false when no server answers or a port cannot be made
    // or connected, and then nothing is left behind.
    bool startStream(const Device* device, const std::vector<std::string>& capture,
                     const std::vector<std::string>& playback, IOClient* client);
    // Main thread: returns once the last process callback has returned;
    // the device's ports are disconnected and removed.
    void stopStream(const Device* device);
    // Main thread, for benchmarks: called on the process thread after every
    // cycle of the stream with the callback's own duration; null: none.
    using CycleObserver = void (*)(uint64_t nanoseconds, void* data);
    void setCycleObserver(CycleObserver observer, void* data)
    {
        m_observerData.store(data);
        m_observer.store(observer);
    }
    // Any thread: the server's rate and period as last reported.
    Float64 sampleRate() const { return m_sampleRate.load(std::memory_order_relaxed); }
    UInt32 period() const { return m_period.load(std::memory_order_relaxed); }

private:
    JackAudioProvider() = default;

    // Main thread: the client, opened (or opened again after the server
    // went away, or when tests name another server) when no stream runs.
    jack_client_t* client();
    void closeClient();
    void endStream();

    static int process(jack_nframes_t frames, void* arg);
    static int bufferSizeChanged(jack_nframes_t frames, void* arg);
    static int xrun(void* arg);
    static void shutdown(void* arg);

    jack_client_t* m_client = nullptr;
    std::string m_serverName; // the server the client was opened on
    std::vector<std::shared_ptr<JackAudioDevice>> m_devices;
    std::vector<std::string> m_groupOrder;

    // ---- the running stream; the port lists are fixed while it runs
    const Device* m_streamDevice = nullptr;
    bool m_activated = false;
    std::vector<jack_port_t*> m_inPorts;
    std::vector<jack_port_t*> m_outPorts;
    std::vector<const float*> m_inBuffers;
    std::vector<float*> m_outBuffers;

    // ---- shared with the process thread and the server's notifications
    std::atomic<IOClient*> m_ioClient{nullptr};
    std::atomic<CycleObserver> m_observer{nullptr};
    std::atomic<void*> m_observerData{nullptr};
    std::atomic<bool> m_inCycle{false};
    std::atomic<bool> m_serverGone{false};
    std::atomic<uint64_t> m_xruns{0};
    std::atomic<Float64> m_sampleRate{0};
    std::atomic<UInt32> m_period{0};
};

} // namespace vt::platform::audio
