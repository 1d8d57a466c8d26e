// AIFF and AIFC files: big-endian, little-endian ("sowt") and float
// ("fl32", "fl64") samples of one or two channels are read; 16-bit stereo
// AIFF is written with a 54-byte header.
#pragma once

#include "VTAudioFileBase.h"

class VTAudioFileAIFF : public VTAudioFileBase {
public:
    VTAudioFileAIFF();

    unsigned openFile(const char* path, std::string* error, float sampleRate) override;
    bool writeFile(const char* path, unsigned frames, unsigned sampleRate, unsigned encoding) override;
    bool writeHeader(unsigned frames, unsigned sampleRate, unsigned encoding) override;

    // The sample rate as the 80-bit extended float the header holds, and
    // back (whole hertz; rates the reader does not expect give 0).
    static void encodeSampleRate(uint32_t rate, unsigned char out[10]);
    static uint32_t decodeSampleRate(const unsigned char in[10]);

private:
    unsigned fail();
};
