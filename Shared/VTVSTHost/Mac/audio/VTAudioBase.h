// The audio device layer's abstract base: owns the list of device entries
// and declares how a pair of entries is run as one stream.
#pragma once

#include "VTAudioDevice.h"

#include <cstdint>
#include <vector>

// The engine's audio cycle: two input and two output channel pointers, the
// frame count and the engine. Audio thread, real-time safe.
typedef bool (*VTAudioCallback)(float** in, float** out, uint32_t frames, void* userData);

class VTAudioBase {
public:
    VTAudioBase() = default;
    // Main thread only: deletes every record.
    virtual ~VTAudioBase();
    VTAudioBase(const VTAudioBase&) = delete;
    VTAudioBase& operator=(const VTAudioBase&) = delete;

    // Main thread only: opens the pair (in may be null; out must be given)
    // and begins calling `callback` (a VTAudioCallback) with `userData`.
    virtual bool start(VTAudioDevice* in, VTAudioDevice* out, void* callback, void* userData) = 0;
    // Main thread only: ends the stream; harmless when none runs.
    virtual void stop() = 0;
    // Main thread only: whether two entries can run with common settings.
    virtual bool equalSettings(VTAudioDevice* a, VTAudioDevice* b) = 0;
    // Main thread only: brings a device's details up to date.
    virtual bool getDeviceInfo(VTAudioDevice* device, bool flag) = 0;

    // Main thread only: deletes every record and empties the list.
    void clear();

    // Input and output entries in system device order; the list owns them.
    // Built once at construction, read-only afterwards (only `left` and
    // `right` of an entry change).
    std::vector<VTAudioDevice*> m_devices;
};
