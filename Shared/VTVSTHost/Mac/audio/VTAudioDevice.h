// One direction (input or output) of one audio device, as the audio layer
// lists it. Records are created by the enumeration, owned by the device
// list and never rebuilt while the application runs, so everyone else holds
// plain pointers to them.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct VTAudioDevice {
    uint32_t id = 0;      // the platform's audio object of the device
    std::string auxName;  // empty for every device the layer lists
    uint32_t type = 0;    // driver family bit mask: 16 = Core Audio
    std::string name;     // UTF-8, or "Unknown Input Device" / "Unknown Output Device"
    bool isInput = false; // input entry, else output entry
    bool isDefault = false;
    bool infoValid = false;
    uint16_t channels = 0;
    double sampleRate = 0;                 // output entries only
    uint16_t bitsPerSample = 0;            // output entries only
    uint32_t bufferSize = 0;               // frames
    std::vector<std::string> channelNames; // "In 1"... or "Out 1"...
    // The chosen channels, zero-based. Written on the main thread and read
    // by the audio thread, hence atomic.
    std::atomic<uint32_t> left{0};
    std::atomic<uint32_t> right{1};
};
