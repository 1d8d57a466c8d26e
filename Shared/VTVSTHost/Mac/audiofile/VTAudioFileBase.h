// The common base of the sample-file classes: the open file, the facts
// about its sample data, and the conversions every uncompressed file
// shares (getData reads all of it into two float channels, setData appends
// 16-bit stereo). Main thread; an object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class VTAudioFileBase {
public:
    VTAudioFileBase() = default;
    // Closes the file as closeFile does.
    virtual ~VTAudioFileBase();
    VTAudioFileBase(const VTAudioFileBase&) = delete;
    VTAudioFileBase& operator=(const VTAudioFileBase&) = delete;

    // The longest sample any reader opens: 2^28 frames, whose two float
    // arrays take 2 GiB. That holds the recorder's longest take (16 minutes)
    // at every rate up to 279 kHz, or 93 minutes at 48 kHz; a longer file (a
    // ten-hour MP3 decodes to gigabytes) is refused as one that cannot be
    // read, before anything is allocated for it.
    static constexpr uint32_t kMostFrames = 1u << 28;

    // Opens an existing file and fills the fields; the frame count, 0 on any
    // failure, including more than kMostFrames. The error text is never
    // written; the rate is the one the caller will play at (only a decoder
    // uses it).
    virtual unsigned openFile(const char* path, std::string* error, float sampleRate) = 0;
    // Creates the file ("wb") and writes its header for the frames; false
    // when it could not be created or written.
    virtual bool writeFile(const char* path, unsigned frames, unsigned sampleRate, unsigned encoding) = 0;
    // Writes the complete header at offset 0; may be called again after the
    // data to correct the sizes.
    virtual bool writeHeader(unsigned frames, unsigned sampleRate, unsigned encoding) = 0;
    // Reads and converts all sample data into two arrays of at least
    // m_numFrames floats each.
    virtual bool getData(float** channels);
    // Flushes (when writing) and closes; nothing when no file is open.
    virtual void closeFile();

    // Appends frames of the two channels as 16-bit stereo in pieces of 1024
    // bytes, flushing after each; closes afterwards when asked.
    bool setData(float** channels, unsigned frames, bool closeAfter);
    // Converts bytes / 6 stereo 24-bit frames into the arrays at index,
    // advancing it by one per frame.
    void readStereo24Bit(char* bytes, float** channels, int& index, int byteCount);

    FILE* m_file = nullptr;
    uint32_t m_dataOffset = 0; // first sample byte
    uint32_t m_numFrames = 0;
    uint32_t m_dataSize = 0;      // bytes of sample data, all channels
    uint32_t m_sampleRate = 0;    // Hz
    uint32_t m_numChannels = 0;   // 1 or 2
    uint32_t m_format = 0;        // sample encoding code, 0 = none
    uint32_t m_bitsPerSample = 0; // as the file states it
    uint32_t m_fileType = 0;      // 0 decoder, 1 WAV, 2 AIFF
    uint32_t m_bigEndian = 0;     // non-zero: multi-byte samples are big-endian
    bool m_writing = false;       // opened by writeFile: flushed before closing

protected:
    // Bytes of the open file from offset to its end (0 when unknown).
    uint64_t bytesAfter(uint64_t offset) const;
    // Limits the data to the bytes the file really holds after the data
    // offset, in whole frames, so a truncated file plays as far as it goes
    // and nobody allocates for data that is not there.
    void boundDataToFile(uint32_t bytesPerFrame);
    // A larger stdio buffer than the default: whole files are read in one go.
    void useReadBuffer();
    // Writes bytes; on a short write flushes, closes and answers false.
    bool writeBytes(const void* bytes, size_t count);
    // Creates the file for writing ("wb"), as writeFile begins.
    bool createForWriting(const char* path);
    // Reads the 8-byte header of the chunk at offset; false past the end.
    bool readChunkHeader(uint64_t offset, unsigned char header[8]);
    // Moves offset past a chunk of size bytes (chunks are padded to an even
    // length). False when the walk would leave the 32-bit offsets a file
    // has, the only way a damaged size could make it go back or loop.
    static bool skipChunk(uint64_t& offset, uint32_t size);

private:
    // stdio's buffer for reading; the C library ignores a size given
    // without storage, so the storage is ours. Outlives every open file.
    std::unique_ptr<char[]> m_readBuffer;
};
