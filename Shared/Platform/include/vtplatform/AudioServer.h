// Linux-only: what the audio server behind the devices reports, for the
// read-only line of the preferences window. Nothing of it is stored.
#pragma once
#include <cstdint>
namespace vt::platform {
struct AudioServerReadout {
    bool serverRunning = false; // false: no audio server answered (null device)
    bool streamRunning = false; // a stream of ours is running on it
    double sampleRate = 0.0;    // Hz
    uint32_t blockSize = 0;     // frames per period
    double latencyMs = 0.0;     // one period's latency in milliseconds
    float dspLoad = 0.0f;       // the server's DSP load, percent
    uint64_t xruns = 0;         // dropouts since our stream started
};
// Main thread: a fresh reading.
AudioServerReadout audioServerReadout();
} // namespace vt::platform
