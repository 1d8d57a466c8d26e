// The audio layer as the main window holds it: a thin wrapper whose
// m_coreaudio is the one Core Audio implementation of the layer.
#pragma once

#include "VTCoreAudio.h"

class VTAudioLib {
public:
    // Main thread only: enumerates the audio devices.
    VTAudioLib() = default;
    VTAudioLib(const VTAudioLib&) = delete;
    VTAudioLib& operator=(const VTAudioLib&) = delete;

    // Main thread only: the layer behind its abstract interface.
    VTAudioBase* audio() { return &m_coreaudio; }
    // Any thread after construction: the device entries (read-only list).
    const std::vector<VTAudioDevice*>& devices() const { return m_coreaudio.m_devices; }

    VTCoreAudio m_coreaudio;
};
