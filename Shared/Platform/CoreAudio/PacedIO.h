// An I/O thread paced by the monotonic clock at a device's rate, for
// devices without hardware of their own (the null device, virtual devices
// in threaded mode). Input is silence; output goes nowhere.
#pragma once

#include "AudioProvider.h"

#include <atomic>
#include <thread>
#include <vector>

namespace vt::platform::audio {

class PacedIO {
public:
    PacedIO() = default;
    ~PacedIO() { stop(); }
    PacedIO(const PacedIO&) = delete;
    PacedIO& operator=(const PacedIO&) = delete;

    // Main thread: starts calling client->ioCycle every `frames` frames at
    // `sampleRate`; false when already running or the format is unusable.
    bool start(IOClient* client, UInt32 inputChannels, UInt32 outputChannels, UInt32 frames, Float64 sampleRate);
    // Main thread: returns once the thread has ended.
    void stop();
    // Any thread: cycles run since the last start.
    uint64_t cycles() const { return m_cycles.load(std::memory_order_acquire); }

private:
    void run(IOClient* client, Float64 sampleRate);

    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<uint64_t> m_cycles{0};
    std::vector<float> m_input;
    std::vector<float> m_output;
    std::vector<const float*> m_inputPointers;
    std::vector<float*> m_outputPointers;
    IOCycle m_cycle;
};

} // namespace vt::platform::audio
