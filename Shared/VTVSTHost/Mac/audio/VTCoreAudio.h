// The audio device layer on Core Audio: enumerates the devices once, at
// construction, and runs one input entry and one output entry as a single
// full-duplex stream through the hardware output unit, on a private
// aggregate device when input and output are different devices.
#pragma once

#include "VTAudioBase.h"

#include <AudioToolbox/AudioToolbox.h>
#include <CoreAudio/CoreAudio.h>

class VTCoreAudio : public VTAudioBase {
public:
    // Main thread only: enumerates the devices into m_devices.
    VTCoreAudio();
    // Main thread only: stops a running stream, then deletes the records.
    ~VTCoreAudio() override;

    // Main thread only. True when the unit is running.
    bool start(VTAudioDevice* in, VTAudioDevice* out, void* callback, void* userData) override;
    // Main thread only. Stops the unit and removes the aggregate device.
    void stop() override;
    // Main thread only. Any two entries run together.
    bool equalSettings(VTAudioDevice* a, VTAudioDevice* b) override;
    // Main thread only. Enumeration already filled every field.
    bool getDeviceInfo(VTAudioDevice* device, bool flag) override;

    // Main thread only: the buffer frames the stream of `in` and `out` will
    // deliver: the current buffer size of the device that clocks it (the
    // output device, or the input device for an aggregate); the entry's
    // stored size when the device cannot tell.
    uint32_t streamBufferSize(VTAudioDevice* in, VTAudioDevice* out) const;
    // Main thread only, before start: the engine is never handed a cycle
    // longer than this (0: as the device delivers); a longer hardware
    // buffer is cut into slices of it.
    void setMaximumFrames(uint32_t frames) { m_maximumFrames = frames; }

    // Main thread only: removes the aggregate device `id`.
    void destroyAggregateDevice(unsigned int id);

    // The unit's render callback; inRefCon is the VTCoreAudio. Audio
    // thread, real-time safe.
    static OSStatus audioCallback(void* inRefCon, AudioUnitRenderActionFlags* ioActionFlags,
                                  const AudioTimeStamp* inTimeStamp, UInt32 inBusNumber, UInt32 inNumberFrames,
                                  AudioBufferList* ioData);

    // The name and UID of the private aggregate device.
    static constexpr const char* kAggregateName = "Veltrane Aggregate I/O";
    static constexpr const char* kAggregateUID = "com.veltrane.aggregate";

    // The device the unit runs on: the output device, the shared device or
    // the aggregate device; 0 before the first start and after a start in
    // which building the aggregate failed.
    uint32_t m_aggregateId = 0;
    VTAudioCallback m_callback = nullptr;
    void* m_callbackData = nullptr;
    VTAudioDevice* m_inDevice = nullptr;
    VTAudioDevice* m_outDevice = nullptr;
    // Created on the first start, kept until destruction.
    AudioUnit m_iOUnit = nullptr;
    bool m_running = false;
    // Set before start, read by the audio thread while the stream runs.
    uint32_t m_maximumFrames = 0;

private:
    void enumerate();
    // Audio thread, real-time safe: picks the channels and runs the engine.
    OSStatus processAudio(AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* inTimeStamp,
                          UInt32 inNumberFrames, AudioBufferList* ioData);
    // Main thread only: the new aggregate of `in` and `out`, or 0.
    uint32_t createAggregateDevice(VTAudioDevice* in, VTAudioDevice* out);
};
