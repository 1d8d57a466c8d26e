#include "VTAudioFileWAV.h"

#include "VTSampleConversion.h"

#include <cstring>

namespace {

// WAV numbers are little-endian throughout.
uint16_t le16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t le32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
void putLe16(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void putLe32(unsigned char* p, uint32_t v)
{
    putLe16(p, v);
    putLe16(p + 2, v >> 16);
}

constexpr uint16_t kTagPCM = 1;
constexpr uint16_t kTagFloat = 3;
constexpr uint32_t kFormatBodyBytes = 16;

struct FormatFields {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
};

// Encoding and frame count by block align, channels and tag; false for a
// block align no encoding has.
bool chooseEncoding(const FormatFields& format, uint32_t dataSize, uint32_t& encoding, uint32_t& frames)
{
    using namespace vt::samples;
    const bool mono = format.channels == 1;
    switch (format.blockAlign) {
    case 1:
        encoding = kInt8Mono;
        break;
    case 2:
        encoding = mono ? kInt16Mono : kInt8Stereo;
        break;
    case 3:
        encoding = kInt24Mono;
        break;
    case 4:
        encoding = mono ? (format.tag == kTagFloat ? kFloat32Mono : kInt32Mono) : kInt16Stereo;
        break;
    case 6:
        encoding = kInt24Stereo;
        break;
    case 8:
        // Eight bytes of one channel are one 64-bit sample, not a stereo pair.
        if (mono)
            encoding = format.tag == kTagPCM ? kInt64Mono : format.tag == kTagFloat ? kFloat64Mono : 0;
        else
            encoding = format.tag == kTagPCM ? kInt32Stereo : format.tag == kTagFloat ? kFloat32Stereo : 0;
        break;
    case 16:
        // No encoding has 16-byte frames of one channel.
        if (mono)
            return false;
        encoding = format.tag == kTagPCM ? kInt64Stereo : format.tag == kTagFloat ? kFloat64Stereo : 0;
        break;
    default:
        return false;
    }
    frames = dataSize / format.blockAlign;
    return true;
}

} // namespace

VTAudioFileWAV::VTAudioFileWAV()
{
    m_fileType = 1;
    m_bigEndian = 0;
}

unsigned VTAudioFileWAV::fail()
{
    closeFile();
    return 0;
}

unsigned VTAudioFileWAV::openFile(const char* path, std::string*, float)
{
    closeFile();
    m_format = 0;
    m_file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    m_writing = false;
    if (m_file == nullptr)
        return 0;
    useReadBuffer();

    // The RIFF header's content is not checked: "RIFF"/"WAVE" are not required.
    unsigned char riff[12];
    if (std::fseek(m_file, 0, SEEK_SET) != 0 || std::fread(riff, 1, sizeof riff, m_file) != sizeof riff)
        return fail();

    FormatFields format;
    bool haveFormat = false;
    uint64_t offset = 12;
    uint32_t dataSize = 0;
    for (;;) {
        unsigned char header[8];
        if (!readChunkHeader(offset, header))
            return fail(); // ran off the end without a "data" chunk
        const uint32_t size = le32(header + 4);
        if (std::memcmp(header, "fmt ", 4) == 0) {
            // Only the first 16 bytes matter, but a shorter body is not PCM.
            unsigned char body[kFormatBodyBytes];
            if (size < kFormatBodyBytes || std::fread(body, 1, sizeof body, m_file) != sizeof body)
                return fail();
            format.tag = le16(body);
            format.channels = le16(body + 2);
            format.sampleRate = le32(body + 4);
            format.blockAlign = le16(body + 12);
            format.bitsPerSample = le16(body + 14);
            haveFormat = true;
        } else if (std::memcmp(header, "data", 4) == 0) {
            dataSize = size;
            break;
        }
        if (!skipChunk(offset, size))
            return fail();
    }

    // Samples met before their format, or a format no frame can have.
    if (!haveFormat || format.channels == 0 || format.channels > 2 || format.blockAlign == 0)
        return fail();
    m_dataOffset = static_cast<uint32_t>(offset + 8);
    m_dataSize = dataSize;
    m_numChannels = format.channels;
    m_sampleRate = format.sampleRate;
    m_bitsPerSample = format.bitsPerSample;
    boundDataToFile(format.blockAlign);

    uint32_t encoding = 0;
    uint32_t frames = 0;
    if (!chooseEncoding(format, m_dataSize, encoding, frames) || frames > kMostFrames)
        return fail();
    m_format = encoding;
    m_numFrames = frames;
    return m_format != 0 ? m_numFrames : 0;
}

bool VTAudioFileWAV::writeFile(const char* path, unsigned frames, unsigned sampleRate, unsigned encoding)
{
    if (!createForWriting(path))
        return false;
    return writeHeader(frames, sampleRate, encoding);
}

bool VTAudioFileWAV::writeHeader(unsigned frames, unsigned sampleRate, unsigned)
{
    // Sizes that 32 bits cannot hold would make a header that lies.
    if (m_file == nullptr || frames > (0xFFFFFFFFu - 36) / 4 || sampleRate > 0xFFFFFFFFu / 4) {
        closeFile();
        return false;
    }
    m_sampleRate = sampleRate;
    const uint32_t dataBytes = frames * 4;
    unsigned char riff[12], chunk[8], body[16], dataId[4], dataSize[4];
    std::memcpy(riff, "RIFF", 4);
    putLe32(riff + 4, 36 + dataBytes);
    std::memcpy(riff + 8, "WAVE", 4);
    std::memcpy(chunk, "fmt ", 4);
    putLe32(chunk + 4, 16);
    putLe16(body, kTagPCM);
    putLe16(body + 2, 2);
    putLe32(body + 4, sampleRate);
    putLe32(body + 8, sampleRate * 4);
    putLe16(body + 12, 4);
    putLe16(body + 14, 16);
    std::memcpy(dataId, "data", 4);
    putLe32(dataSize, dataBytes);
    if (std::fseek(m_file, 0, SEEK_SET) != 0) {
        closeFile();
        return false;
    }
    return writeBytes(riff, sizeof riff) && writeBytes(chunk, sizeof chunk) && writeBytes(body, sizeof body) &&
           writeBytes(dataId, sizeof dataId) && writeBytes(dataSize, sizeof dataSize);
}
