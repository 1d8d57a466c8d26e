// The notes one block sends to the host, in storage allocated once: the
// host reads them during the audioMasterProcessEvents call.
#pragma once

#include "VTVSTInterface.h"

#include <cstdint>
#include <cstring>

class KindraMidiOut {
public:
    static constexpr int kCapacity = 256;

    KindraMidiOut()
    {
        for (int i = 0; i < kCapacity; ++i)
            m_list.events[i] = reinterpret_cast<VstEvent*>(&m_events[i]);
    }
    KindraMidiOut(const KindraMidiOut&) = delete;
    KindraMidiOut& operator=(const KindraMidiOut&) = delete;

    // Audio thread, real-time safe.
    void clear() { m_list.numEvents = 0; }
    // Audio thread, real-time safe. False when the block's list is full.
    bool add(int frame, uint8_t status, uint8_t data1, uint8_t data2)
    {
        if (m_list.numEvents >= kCapacity)
            return false;
        VstMidiEvent& event = m_events[m_list.numEvents++];
        std::memset(&event, 0, sizeof(event));
        event.type = kVstMidiType;
        event.byteSize = sizeof(VstMidiEvent);
        event.deltaFrames = frame;
        event.flags = kVstMidiEventIsRealtime;
        event.midiData[0] = static_cast<char>(status);
        event.midiData[1] = static_cast<char>(data1);
        event.midiData[2] = static_cast<char>(data2);
        return true;
    }
    int count() const { return m_list.numEvents; }
    // The list as the host reads it: VstEvents with its array running on.
    VstEvents* events() { return reinterpret_cast<VstEvents*>(&m_list); }

private:
    struct List {
        VstInt32 numEvents = 0;
        VstIntPtr reserved = 0;
        VstEvent* events[kCapacity];
    };
    static_assert(offsetof(List, events) == offsetof(VstEvents, events));

    List m_list;
    VstMidiEvent m_events[kCapacity];
};
