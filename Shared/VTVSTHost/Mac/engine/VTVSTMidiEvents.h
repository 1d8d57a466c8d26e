// The engine's MIDI event queues: two blocks the audio cycle swaps, so a
// producer never writes into the block being handed to the plug-in.
#pragma once

#include "VTVSTInterface.h"

#include <atomic>
#include <cstdint>

// One queue: a VstEvents header, room for numMaxEvents + 1 pointers, then
// numMaxEvents MIDI records whose pointers fill the first slots. Allocated
// once; every record is preset to a MIDI event of 32 bytes.
struct VTVSTMidiEvents {
    static constexpr int kMaxEvents = 256;

    VTVSTMidiEvents();
    ~VTVSTMidiEvents();
    VTVSTMidiEvents(const VTVSTMidiEvents&) = delete;
    VTVSTMidiEvents& operator=(const VTVSTMidiEvents&) = delete;

    // Appends one message with delta frames 0; false when the queue is full.
    // Only the producer that holds the queue's filling flag calls it.
    bool append(uint8_t status, uint8_t data1, uint8_t data2);

    VstEvents* events = nullptr;        // the owned block
    VstMidiEvent* midievents = nullptr; // its first record
    int numMaxEvents = kMaxEvents;
    int idx = 0; // events queued so far
};

// Guards the write side of the two queues. Producers (MIDI thread, main
// thread) take it for the length of one append and may spin briefly; the
// audio cycle only ever tries it and skips the hand-over when it is taken,
// so the audio thread never waits.
class VTMidiQueueGate {
public:
    // Any non-real-time thread.
    void enter()
    {
        bool expected = false;
        while (!flag.compare_exchange_weak(expected, true, std::memory_order_acquire))
            expected = false;
    }
    // Audio thread, real-time safe: true when the gate was free and is now held.
    bool tryEnter()
    {
        bool expected = false;
        return flag.compare_exchange_strong(expected, true, std::memory_order_acquire);
    }
    void leave() { flag.store(false, std::memory_order_release); }
    bool held() const { return flag.load(std::memory_order_acquire); }

private:
    std::atomic<bool> flag{false};
};
