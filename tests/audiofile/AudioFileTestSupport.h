// Temporary files and byte builders for the audio-file tests.
#pragma once

#include "VTStereoBuffers.h"
#include "VTTemporaryFolder.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace audiofiletest {

using Bytes = std::vector<unsigned char>;

inline void le16(Bytes& b, uint32_t v)
{
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
inline void le32(Bytes& b, uint32_t v)
{
    le16(b, v);
    le16(b, v >> 16);
}
inline void be16(Bytes& b, uint32_t v)
{
    b.push_back(static_cast<unsigned char>(v >> 8));
    b.push_back(static_cast<unsigned char>(v));
}
inline void be32(Bytes& b, uint32_t v)
{
    be16(b, v >> 16);
    be16(b, v);
}
inline void text(Bytes& b, const char* id)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(id[i]));
}

// A WAV file: RIFF header, a 16-byte "fmt " chunk and a "data" chunk.
inline Bytes wavFile(uint16_t tag, uint16_t channels, uint16_t blockAlign, uint16_t bits, const Bytes& data)
{
    Bytes b;
    b.reserve(44 + data.size());
    text(b, "RIFF");
    le32(b, static_cast<uint32_t>(36 + data.size()));
    text(b, "WAVE");
    text(b, "fmt ");
    le32(b, 16);
    le16(b, tag);
    le16(b, channels);
    le32(b, 48000);
    le32(b, 48000u * blockAlign);
    le16(b, blockAlign);
    le16(b, bits);
    text(b, "data");
    le32(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// The 54-byte start of an AIFF file at 48000 Hz whose "COMM" chunk claims
// the frames and whose "SSND" chunk says it holds them; the samples follow.
inline Bytes aiffHeader(uint16_t channels, uint32_t frames, uint16_t bits)
{
    const uint32_t dataBytes = frames * channels * (bits / 8u);
    Bytes b;
    text(b, "FORM");
    be32(b, 46 + dataBytes);
    text(b, "AIFF");
    text(b, "COMM");
    be32(b, 18);
    be16(b, channels);
    be32(b, frames);
    be16(b, bits);
    b.insert(b.end(), {0x40, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}); // 48000
    text(b, "SSND");
    be32(b, 8 + dataBytes);
    be32(b, 0); // offset
    be32(b, 0); // block size
    return b;
}

// A file of its own in a folder removed at the end of the test.
class TempFolder {
public:
    TempFolder() : m_folder("kindra-audiofile") {}
    std::string file(const std::string& name) const { return m_folder.file(name); }
    std::string write(const std::string& name, const Bytes& bytes) const
    {
        std::string path = file(name);
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f != nullptr) {
            if (!bytes.empty())
                std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return path;
    }
    static Bytes read(const std::string& path)
    {
        Bytes bytes;
        FILE* f = std::fopen(path.c_str(), "rb");
        if (f == nullptr)
            return bytes;
        int c;
        while ((c = std::fgetc(f)) != EOF)
            bytes.push_back(static_cast<unsigned char>(c));
        std::fclose(f);
        return bytes;
    }

private:
    vt::testing::TemporaryFolder m_folder;
};

// Two channel arrays for getData.
using Channels = vt::testing::StereoBuffers;

} // namespace audiofiletest
