// One incoming MIDI message as the MIDI layer hands it to the engine.
#pragma once

#include <cstdint>

struct VTMidiMsg {
    uint8_t status;  // first byte as received
    uint8_t command; // status with the channel bits cleared (0x80 ... 0xF0)
    uint8_t channel; // low four bits of status
    uint8_t data1;   // second byte; kept from before for 1-byte messages
    uint8_t data2;   // third byte; kept from before for shorter messages
    double time;     // host time since the previous message of this layer times
                     // 0.000001 (milliseconds for nanosecond host time)
    void* reference; // left null by the MIDI layer; the engine copies it along
};
