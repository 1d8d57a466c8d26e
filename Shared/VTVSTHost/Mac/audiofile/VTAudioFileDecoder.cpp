#include "VTAudioFileDecoder.h"

#include <algorithm>
#include <cmath>

VTAudioFileDecoder::VTAudioFileDecoder()
{
    m_sampleRate = 44100;
    m_numChannels = 2;
    m_format = 9;
    m_bitsPerSample = 16;
    m_fileType = 0;
    m_bigEndian = 0;
}

VTAudioFileDecoder::~VTAudioFileDecoder()
{
    dispose();
}

void VTAudioFileDecoder::dispose()
{
    if (m_extAudioFile != nullptr)
        ExtAudioFileDispose(m_extAudioFile);
    m_extAudioFile = nullptr;
}

unsigned VTAudioFileDecoder::openFile(const char* path, std::string*, float sampleRate)
{
    dispose();
    m_numFrames = 0;
    if (path == nullptr || !(sampleRate >= 1.0f && sampleRate < 4294967296.0f))
        return 0;
    m_sampleRate = static_cast<uint32_t>(sampleRate);

    CFStringRef pathString = CFStringCreateWithCString(nullptr, path, kCFStringEncodingUTF8);
    if (pathString == nullptr)
        return 0;
    CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, pathString, kCFURLPOSIXPathStyle, false);
    CFRelease(pathString);
    if (url == nullptr)
        return 0;
    OSStatus status = ExtAudioFileOpenURL(url, &m_extAudioFile);
    CFRelease(url);
    if (status != noErr) {
        m_extAudioFile = nullptr;
        return 0;
    }

    // Non-interleaved 32-bit float at the player's rate, two channels.
    AudioStreamBasicDescription client{};
    client.mSampleRate = sampleRate;
    client.mFormatID = kAudioFormatLinearPCM;
    client.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    client.mBytesPerPacket = 4;
    client.mFramesPerPacket = 1;
    client.mBytesPerFrame = 4;
    client.mChannelsPerFrame = m_numChannels;
    client.mBitsPerChannel = 32;
    client.mReserved = 0;
    if (ExtAudioFileSetProperty(m_extAudioFile, kExtAudioFileProperty_ClientDataFormat, sizeof client, &client) !=
        noErr) {
        dispose();
        return 0;
    }
    // The service counts the length in the file's own rate while the frames
    // arrive at the player's: counted as it is, a file played at a higher
    // rate would lose its end. The length is converted to the player's rate.
    AudioStreamBasicDescription fileFormat{};
    UInt32 size = sizeof fileFormat;
    SInt64 length = 0;
    if (ExtAudioFileGetProperty(m_extAudioFile, kExtAudioFileProperty_FileDataFormat, &size, &fileFormat) != noErr ||
        !(fileFormat.mSampleRate > 0.0)) {
        dispose();
        return 0;
    }
    size = sizeof length;
    if (ExtAudioFileGetProperty(m_extAudioFile, kExtAudioFileProperty_FileLengthFrames, &size, &length) != noErr ||
        length < 0) {
        dispose();
        return 0;
    }
    // Also keeps mDataByteSize, a 32-bit byte count, within range.
    const double frames = std::ceil(static_cast<double>(length) * sampleRate / fileFormat.mSampleRate);
    if (!(frames <= static_cast<double>(kMostFrames))) {
        dispose();
        return 0;
    }
    m_numFrames = static_cast<uint32_t>(frames);
    return m_numFrames;
}

bool VTAudioFileDecoder::getData(float** channels)
{
    if (m_extAudioFile == nullptr || channels == nullptr || channels[0] == nullptr || channels[1] == nullptr) {
        dispose();
        return false;
    }
    // A buffer list with one single-channel buffer per channel. The service
    // may deliver in several reads, and a converted length is an estimate
    // that can exceed what arrives by a frame: read until the service has
    // nothing more and leave silence, never stale data, after its end.
    struct {
        UInt32 mNumberBuffers;
        AudioBuffer mBuffers[2];
    } list{};
    list.mNumberBuffers = m_numChannels >= 2 ? 2 : 1;
    uint32_t delivered = 0;
    OSStatus status = noErr;
    while (delivered < m_numFrames) {
        for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
            list.mBuffers[i].mNumberChannels = 1;
            list.mBuffers[i].mDataByteSize = (m_numFrames - delivered) * 4;
            list.mBuffers[i].mData = channels[i] + delivered;
        }
        UInt32 frames = m_numFrames - delivered;
        status = ExtAudioFileRead(m_extAudioFile, &frames, reinterpret_cast<AudioBufferList*>(&list));
        if (status != noErr || frames == 0)
            break;
        delivered += std::min<uint32_t>(frames, m_numFrames - delivered);
    }
    for (UInt32 i = 0; i < list.mNumberBuffers; ++i)
        std::fill(channels[i] + delivered, channels[i] + m_numFrames, 0.0f);
    dispose();
    return status == noErr;
}

bool VTAudioFileDecoder::writeFile(const char*, unsigned, unsigned, unsigned)
{
    return false;
}

bool VTAudioFileDecoder::writeHeader(unsigned, unsigned, unsigned)
{
    return false;
}
