// Any sample file that is neither WAV nor AIFF (MP3, M4A, ...), decoded by
// the platform's extended audio file service into two float channels at
// the rate the player runs at. It only reads, and delivers its data once
// per open.
#pragma once

#include "VTAudioFileBase.h"

#include <AudioToolbox/AudioToolbox.h>

class VTAudioFileDecoder : public VTAudioFileBase {
public:
    VTAudioFileDecoder();
    ~VTAudioFileDecoder() override;

    // Main thread. The frame count at sampleRate (the player's output rate),
    // 0 on any failure; no file reference outlives a failed open.
    unsigned openFile(const char* path, std::string* error, float sampleRate) override;
    // Decoders write nothing.
    bool writeFile(const char* path, unsigned frames, unsigned sampleRate, unsigned encoding) override;
    bool writeHeader(unsigned frames, unsigned sampleRate, unsigned encoding) override;
    // Main thread. Delivers the whole sample into two arrays of at least
    // m_numFrames floats and releases the file, whatever the result.
    bool getData(float** channels) override;

    ExtAudioFileRef m_extAudioFile = nullptr;

private:
    void dispose();
};
