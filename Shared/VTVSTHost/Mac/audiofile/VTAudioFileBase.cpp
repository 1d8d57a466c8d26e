#include "VTAudioFileBase.h"

#include "VTSampleConversion.h"

#include <sys/stat.h>

#include <cstring>
#include <new>

namespace {

// Chunk sizes of the read loop: 972 is a multiple of 3 and 6, so 24-bit
// frames never straddle two chunks.
constexpr int kChunkBytes = 1024;
constexpr int kChunkBytes24 = 972;
// setData's pieces: 256 frames of 16-bit stereo.
constexpr unsigned kPieceBytes = 1024;
constexpr size_t kReadBufferBytes = 1 << 16;

} // namespace

VTAudioFileBase::~VTAudioFileBase()
{
    VTAudioFileBase::closeFile();
}

void VTAudioFileBase::closeFile()
{
    if (m_file == nullptr)
        return;
    if (m_writing)
        std::fflush(m_file);
    std::fclose(m_file);
    m_bitsPerSample = 0;
    m_file = nullptr;
    m_dataOffset = 0;
    m_numFrames = 0;
}

uint64_t VTAudioFileBase::bytesAfter(uint64_t offset) const
{
    struct stat info;
    if (m_file == nullptr || fstat(fileno(m_file), &info) != 0 || info.st_size < 0)
        return 0;
    const auto size = static_cast<uint64_t>(info.st_size);
    return size > offset ? size - offset : 0;
}

void VTAudioFileBase::boundDataToFile(uint32_t bytesPerFrame)
{
    uint64_t available = bytesAfter(m_dataOffset);
    // The read loop counts in a signed 32-bit value.
    if (available > 0x7FFFFFFF)
        available = 0x7FFFFFFF;
    if (m_dataSize > available) {
        m_dataSize = static_cast<uint32_t>(available);
        if (bytesPerFrame > 0)
            m_dataSize -= m_dataSize % bytesPerFrame;
    }
}

void VTAudioFileBase::useReadBuffer()
{
    if (m_file == nullptr)
        return;
    if (m_readBuffer == nullptr)
        m_readBuffer.reset(new (std::nothrow) char[kReadBufferBytes]);
    if (m_readBuffer != nullptr)
        std::setvbuf(m_file, m_readBuffer.get(), _IOFBF, kReadBufferBytes);
}

bool VTAudioFileBase::writeBytes(const void* bytes, size_t count)
{
    if (m_file != nullptr && std::fwrite(bytes, 1, count, m_file) == count)
        return true;
    closeFile();
    return false;
}

bool VTAudioFileBase::createForWriting(const char* path)
{
    closeFile();
    m_file = path != nullptr ? std::fopen(path, "wb") : nullptr;
    m_writing = true;
    return m_file != nullptr;
}

bool VTAudioFileBase::readChunkHeader(uint64_t offset, unsigned char header[8])
{
    return std::fseek(m_file, static_cast<long>(offset), SEEK_SET) == 0 && std::fread(header, 1, 8, m_file) == 8;
}

bool VTAudioFileBase::skipChunk(uint64_t& offset, uint32_t size)
{
    const uint64_t next = offset + 8 + size + (size & 1);
    if (next > 0xFFFFFFFFu)
        return false;
    offset = next;
    return true;
}

bool VTAudioFileBase::getData(float** channels)
{
    if (m_file == nullptr || channels == nullptr || channels[0] == nullptr || channels[1] == nullptr)
        return false;
    if (std::fseek(m_file, static_cast<long>(m_dataOffset), SEEK_SET) != 0) {
        closeFile();
        return false;
    }
    // The chunk size follows the encoding, not the header's bits field:
    // 24-bit frames need 972-byte chunks, and 8- or 16-byte frames of a file
    // whose bits field says 24 would straddle them. Every other frame size
    // divides 1024, so the samples read are the same either way.
    const bool samples24 = m_format == vt::samples::kInt24Mono || m_format == vt::samples::kInt24Stereo;
    const int chunk = samples24 ? kChunkBytes24 : kChunkBytes;
    const size_t frameBytes = vt::samples::bytesPerFrame(m_format);
    auto remaining = static_cast<int32_t>(m_dataSize);
    size_t index = 0;
    unsigned char buffer[kChunkBytes];
    // WAV stores 8-bit samples unsigned (silence is 128); read as signed
    // they would sound as a distorted, half-scale offset copy.
    const bool unsignedBytes = m_fileType == 1;

    auto convert = [&](size_t bytes) {
        if (frameBytes == 0)
            return;
        const size_t frames = bytes / frameBytes;
        // 64-bit integers and unknown codes leave the arrays as they are.
        if (vt::samples::convertFrames(m_format, m_bigEndian != 0, buffer, frames, channels[0] + index,
                                       channels[1] + index, unsignedBytes))
            index += frames;
    };

    while (remaining >= chunk) {
        if (std::fread(buffer, 1, static_cast<size_t>(chunk), m_file) != static_cast<size_t>(chunk)) {
            closeFile();
            return false;
        }
        convert(static_cast<size_t>(chunk));
        remaining -= chunk;
        if (remaining == 0)
            return true;
    }
    if (remaining < 0)
        return false;
    const auto tail = static_cast<size_t>(remaining);
    if (std::fread(buffer, 1, tail, m_file) != tail) {
        closeFile();
        return false;
    }
    convert(tail);
    return true;
}

bool VTAudioFileBase::setData(float** channels, unsigned frames, bool closeAfter)
{
    if (m_file == nullptr || channels == nullptr || channels[0] == nullptr || channels[1] == nullptr)
        return false;
    unsigned char piece[kPieceBytes];
    const uint64_t totalBytes = static_cast<uint64_t>(frames) * 4;
    for (uint64_t done = 0; done < totalBytes; done += kPieceBytes) {
        const auto bytes = static_cast<size_t>(totalBytes - done < kPieceBytes ? totalBytes - done : kPieceBytes);
        const size_t first = static_cast<size_t>(done / 4);
        vt::samples::framesToInt16Stereo(channels[0] + first, channels[1] + first, bytes / 4, m_bigEndian != 0, piece);
        // Flushed piece by piece, so what was recorded is on disk even if
        // the application stops right after.
        if (std::fwrite(piece, 1, bytes, m_file) != bytes || std::fflush(m_file) != 0) {
            closeFile();
            return false;
        }
    }
    if (closeAfter)
        closeFile();
    return true;
}

void VTAudioFileBase::readStereo24Bit(char* bytes, float** channels, int& index, int byteCount)
{
    if (bytes == nullptr || channels == nullptr || byteCount < 6)
        return;
    const int frames = byteCount / 6;
    vt::samples::convertFrames(vt::samples::kInt24Stereo, m_bigEndian != 0,
                               reinterpret_cast<const unsigned char*>(bytes), static_cast<size_t>(frames),
                               channels[0] + index, channels[1] + index);
    index += frames;
}
