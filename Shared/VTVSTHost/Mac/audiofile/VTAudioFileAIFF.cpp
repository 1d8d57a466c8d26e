#include "VTAudioFileAIFF.h"

#include "VTSampleConversion.h"

#include <cstring>

namespace {

// AIFF stores its numbers big-endian.
uint16_t be16(const unsigned char* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
uint32_t be32(const unsigned char* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
void putBe16(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}
void putBe32(unsigned char* p, uint32_t v)
{
    putBe16(p, v >> 16);
    putBe16(p + 2, v);
}

} // namespace

VTAudioFileAIFF::VTAudioFileAIFF()
{
    m_fileType = 2;
    m_bigEndian = 1;
}

void VTAudioFileAIFF::encodeSampleRate(uint32_t rate, unsigned char out[10])
{
    std::memset(out, 0, 10);
    if (rate < 2) {
        // 1.0: the smallest rate the format writes.
        out[0] = 0x3F;
        out[1] = 0xFF;
        out[2] = 0x80;
        return;
    }
    if (rate >= (1u << 30)) {
        out[0] = 0x40;
        out[1] = 0x1D;
        return;
    }
    int highest = 31 - __builtin_clz(rate);
    putBe16(out, static_cast<uint32_t>(16383 + highest));
    // The mantissa's explicit leading bit is bit 63; the rate fits in its
    // top 32 bits.
    putBe32(out + 2, rate << (31 - highest));
}

uint32_t VTAudioFileAIFF::decodeSampleRate(const unsigned char in[10])
{
    const unsigned exponent = in[1];
    if (in[0] != 0x40 || exponent >= 29)
        return 0;
    const uint32_t value = (static_cast<uint32_t>(in[2]) << 23) + (static_cast<uint32_t>(in[3]) << 15) +
                           (static_cast<uint32_t>(in[4]) << 7) + (static_cast<uint32_t>(in[5]) >> 1);
    return value >> (29 - exponent);
}

unsigned VTAudioFileAIFF::fail()
{
    closeFile();
    return 0;
}

unsigned VTAudioFileAIFF::openFile(const char* path, std::string*, float)
{
    closeFile();
    m_format = 0;
    m_bigEndian = 1;
    m_file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    m_writing = false;
    if (m_file == nullptr)
        return 0;
    useReadBuffer();
    bool float32 = false;
    bool float64 = false;

    unsigned char form[12];
    if (std::fseek(m_file, 0, SEEK_SET) != 0 || std::fread(form, 1, sizeof form, m_file) != sizeof form)
        return fail();
    const bool isAIFC = std::memcmp(form + 8, "AIFC", 4) == 0;

    bool haveCommon = false;
    uint64_t offset = 12;
    for (;;) {
        unsigned char header[8];
        if (!readChunkHeader(offset, header))
            return fail(); // ran off the end without "SSND"
        const uint32_t size = be32(header + 4);
        if (std::memcmp(header, "COMM", 4) == 0) {
            // channels (2), frames (4), bits (2), 80-bit rate (10); a short
            // chunk is a damaged file.
            unsigned char body[18];
            if (std::fread(body, 1, sizeof body, m_file) != sizeof body)
                return fail();
            m_numChannels = be16(body);
            m_numFrames = be32(body + 2);
            m_bitsPerSample = be16(body + 6);
            m_sampleRate = decodeSampleRate(body + 8);
            haveCommon = true;
            if (isAIFC && size >= 19) {
                unsigned char compression[4];
                if (std::fread(compression, 1, sizeof compression, m_file) != sizeof compression)
                    return fail();
                if (std::memcmp(compression, "fl32", 4) == 0)
                    float32 = true;
                else if (std::memcmp(compression, "fl64", 4) == 0)
                    float64 = true;
                else if (std::memcmp(compression, "sowt", 4) == 0)
                    m_bigEndian = 0; // little-endian samples
                else if (std::memcmp(compression, "NONE", 4) != 0)
                    return fail(); // compressed data cannot be read
            }
        } else if (std::memcmp(header, "SSND", 4) == 0) {
            break;
        }
        if (!skipChunk(offset, size))
            return fail();
    }

    // Sample data before its description, or a frame of no channels or of
    // more than the two the player holds.
    if (!haveCommon || m_numChannels == 0 || m_numChannels > 2)
        return fail();
    unsigned char dataOffset[4];
    if (std::fread(dataOffset, 1, sizeof dataOffset, m_file) != sizeof dataOffset)
        return fail();
    const uint64_t start = offset + 16 + be32(dataOffset); // the block-size field is skipped
    if (start > 0xFFFFFFFFu)
        return fail();
    m_dataOffset = static_cast<uint32_t>(start);

    using namespace vt::samples;
    const bool mono = m_numChannels == 1;
    uint32_t bytesPerSample = 0;
    switch (m_bitsPerSample) {
    case 8:
        m_format = mono ? kInt8Mono : kInt8Stereo;
        bytesPerSample = 1;
        break;
    case 16:
        m_format = mono ? kInt16Mono : kInt16Stereo;
        bytesPerSample = 2;
        break;
    case 24:
        m_format = mono ? kInt24Mono : kInt24Stereo;
        bytesPerSample = 3;
        break;
    case 32:
        m_format = float32 ? (mono ? kFloat32Mono : kFloat32Stereo) : (mono ? kInt32Mono : kInt32Stereo);
        bytesPerSample = 4;
        break;
    case 64:
        m_format = float64 ? (mono ? kFloat64Mono : kFloat64Stereo) : (mono ? kInt64Mono : kInt64Stereo);
        bytesPerSample = 8;
        break;
    default:
        return fail();
    }
    // The size must be representable; the frames must be in the file.
    const uint32_t frameBytes = m_numChannels * bytesPerSample;
    const uint64_t dataSize = static_cast<uint64_t>(m_numFrames) * frameBytes;
    if (dataSize > 0xFFFFFFFFu)
        return fail();
    m_dataSize = static_cast<uint32_t>(dataSize);
    boundDataToFile(frameBytes);
    m_numFrames = m_dataSize / frameBytes;
    if (m_numFrames > kMostFrames)
        return fail();
    return m_numFrames;
}

bool VTAudioFileAIFF::writeFile(const char* path, unsigned frames, unsigned sampleRate, unsigned encoding)
{
    if (!createForWriting(path))
        return false;
    return writeHeader(frames, sampleRate, encoding);
}

bool VTAudioFileAIFF::writeHeader(unsigned frames, unsigned sampleRate, unsigned)
{
    if (m_file == nullptr || frames > (0xFFFFFFFFu - 46) / 4) {
        closeFile();
        return false;
    }
    m_sampleRate = sampleRate;
    const uint32_t dataBytes = frames * 4;
    unsigned char formSize[4], commSize[4], channels[2], frameCount[4], bits[2], rate[10], ssndSize[4], zero[4] = {};
    putBe32(formSize, 46 + dataBytes);
    putBe32(commSize, 18);
    putBe16(channels, 2);
    putBe32(frameCount, frames);
    putBe16(bits, 16);
    encodeSampleRate(sampleRate, rate);
    putBe32(ssndSize, 8 + dataBytes);
    if (std::fseek(m_file, 0, SEEK_SET) != 0) {
        closeFile();
        return false;
    }
    // Each field is its own write, as the header has always been written.
    return writeBytes("FORM", 4) && writeBytes(formSize, 4) && writeBytes("AIFF", 4) && writeBytes("COMM", 4) &&
           writeBytes(commSize, 4) && writeBytes(channels, 2) && writeBytes(frameCount, 4) && writeBytes(bits, 2) &&
           writeBytes(rate, 10) && writeBytes("SSND", 4) && writeBytes(ssndSize, 4) && writeBytes(zero, 4) &&
           writeBytes(zero, 4);
}
