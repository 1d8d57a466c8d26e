// RIFF/WAVE files: PCM integer and IEEE float of one or two channels are
// read; 16-bit stereo PCM is written with a 44-byte header.
#pragma once

#include "VTAudioFileBase.h"

class VTAudioFileWAV : public VTAudioFileBase {
public:
    VTAudioFileWAV();

    unsigned openFile(const char* path, std::string* error, float sampleRate) override;
    bool writeFile(const char* path, unsigned frames, unsigned sampleRate, unsigned encoding) override;
    bool writeHeader(unsigned frames, unsigned sampleRate, unsigned encoding) override;

private:
    unsigned fail();
};
