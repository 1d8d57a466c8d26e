// The plug-in's side of the host callback: every request it makes of the
// host goes through here, including the four private ones.
#pragma once

#include "VTVSTInterface.h"

class KindraHost {
public:
    // Main thread, at creation: the callback the entry was given.
    void attach(audioMasterCallback callback, AEffect* effect);

    // Audio thread, real-time safe: the host's time information, or null.
    const VstTimeInfo* timeInfo() const;
    // Audio thread, real-time safe: hands the notes played to the host.
    bool sendEvents(VstEvents* events) const;
    // Audio thread during the offline render: the capture ended frameOffset
    // frames into the current block.
    bool reportBounceEnd(int frameOffset) const;

    // Main thread (the editor): private requests to the host.
    bool setTempo(double bpm) const;
    bool setTransport(bool playing) const;
    bool sizeWindow(int width, int height) const;

private:
    VstIntPtr call(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) const;

    audioMasterCallback m_callback = nullptr;
    AEffect* m_effect = nullptr;
};
