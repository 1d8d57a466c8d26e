// One MIDI endpoint (source or destination) with the input settings that
// apply to it. The MIDI layer lists them; the settings store keeps its own
// records of the same layout.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

struct VTMidiDevice {
    // Position among the system's sources or destinations at enumeration;
    // records made from saved settings carry kNoIndex and are never opened.
    static constexpr uint32_t kNoIndex = 0xFFFFFFFF;

    uint32_t index = kNoIndex;
    std::string auxName; // empty for every device the layer lists
    uint32_t type = 2;   // driver family: 2 = Core MIDI
    std::string name;    // display name, UTF-8 ("name")
    bool in = false;     // source (input), else destination ("in")
    // The settings below are edited on the main thread and read by the
    // MIDI thread, hence atomic.
    std::atomic<bool> active{false};               // "active"
    std::atomic<bool> sync{false};                 // follow MIDI clock ("sync")
    std::atomic<bool> syncWhilePlaying{false};     // "syncWhilePlaying"
    std::atomic<int32_t> delay{0};                 // milliseconds ("delay")
    std::atomic<bool> filterCCMessages{false};     // "filterCCMessages"
    std::atomic<bool> filterProgramChanges{false}; // "filterProgramChanges"
    std::atomic<int32_t> channel{0};               // 0 = all, 1..16 ("channel")
    std::atomic<int32_t> keyboardRangeLeft{0};     // "keyboardRangeLeft"
    std::atomic<int32_t> keyboardRangeRight{127};  // "keyboardRangeRight"
};
