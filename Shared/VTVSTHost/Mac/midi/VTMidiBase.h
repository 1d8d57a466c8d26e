// The MIDI device layer: lists the machine's MIDI endpoints, opens sources
// for input and one destination for output, and hands every incoming
// message to the engine.
#pragma once

#include "VTMidiDevice.h"
#include "VTMidiMsg.h"

#include <vector>

// The engine's MIDI input handler. The message record is reused for the
// next message, so the handler copies what it keeps before it returns.
using VTMidiInCallback = void (*)(VTMidiMsg* msg, void* userData);

class VTMidiBase {
public:
    // Main thread only.
    VTMidiBase();
    // Main thread only: deletes every device record.
    virtual ~VTMidiBase();
    VTMidiBase(const VTMidiBase&) = delete;
    VTMidiBase& operator=(const VTMidiBase&) = delete;

    // Main thread only: opens in as an input delivering to callback (a
    // VTMidiInCallback) with userData, and/or out as the output destination.
    // False when both are null or a port cannot be created.
    virtual bool start(VTMidiDevice* in, VTMidiDevice* out, void* callback, void* userData) = 0;
    // Main thread only: closes every input and the output.
    virtual void stop() = 0;

    // The record every incoming message is written into; owned.
    VTMidiMsg* m_msg;
    // Sources in system order, then destinations; the list owns its records.
    std::vector<VTMidiDevice*> m_devices;
};
