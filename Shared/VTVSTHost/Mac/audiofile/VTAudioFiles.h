// The engine's holder of the player's current file object.
#pragma once

#include "VTAudioFileBase.h"

struct VTAudioFiles {
    VTAudioFiles() = default;
    ~VTAudioFiles() { delete m_audioFile; }
    VTAudioFiles(const VTAudioFiles&) = delete;
    VTAudioFiles& operator=(const VTAudioFiles&) = delete;

    VTAudioFileBase* m_audioFile = nullptr; // owned
};
