// The extended audio file service on FFmpeg. A file is decoded whole when
// it is opened and converted whole when the client format is set. As on the
// real service, the length is counted in the file's own rate whatever the
// client's rate: a caller reading at another rate must convert it. Files
// longer than the decoder's bound are refused; memory running out is a
// failed call, never an exception through this C interface.
#include <AudioToolbox/AudioToolbox.h>

#include "../CoreFoundation/CFURLImpl.h"
#include "FFmpegDecoder.h"

#include <sys/stat.h>

#include <cstring>
#include <exception>
#include <memory>

using vt::platform::audiofile::DecodedAudio;

struct OpaqueExtAudioFile {
    DecodedAudio file;   // at the file's own rate
    DecodedAudio client; // at the client's rate, when that differs
    bool clientSet = false;
    bool clientConverted = false; // reads come from client, else from file
    AudioStreamBasicDescription clientFormat{};
    size_t position = 0; // next client frame to read

    const DecodedAudio& clientAudio() const { return clientConverted ? client : file; }
};

namespace {

bool isRegularFile(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The client formats this service delivers: 32-bit float, non-interleaved,
// one or two channels.
bool isSupportedClientFormat(const AudioStreamBasicDescription& format)
{
    const UInt32 required = kAudioFormatFlagIsFloat | kAudioFormatFlagIsNonInterleaved;
    return format.mFormatID == kAudioFormatLinearPCM && (format.mFormatFlags & required) == required &&
           (format.mFormatFlags & kAudioFormatFlagIsBigEndian) == 0 && format.mBitsPerChannel == 32 &&
           format.mBytesPerFrame == 4 && format.mChannelsPerFrame >= 1 && format.mChannelsPerFrame <= 2 &&
           format.mSampleRate > 0 && format.mSampleRate < 1e7;
}

AudioStreamBasicDescription describe(const DecodedAudio& audio)
{
    AudioStreamBasicDescription format{};
    format.mSampleRate = audio.sampleRate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    format.mBytesPerPacket = 4;
    format.mFramesPerPacket = 1;
    format.mBytesPerFrame = 4;
    format.mChannelsPerFrame = static_cast<UInt32>(audio.channelCount);
    format.mBitsPerChannel = 32;
    return format;
}

// Runs one call of the service; an exception (memory running out while a
// whole file is decoded or converted) becomes the call's error status.
template <typename Call> OSStatus guarded(Call call) noexcept
{
    try {
        return call();
    } catch (const std::exception&) {
        return kAudioFileUnspecifiedError;
    }
}

} // namespace

extern "C" {

OSStatus ExtAudioFileOpenURL(CFURLRef inURL, ExtAudioFileRef* outExtAudioFile)
{
    if (outExtAudioFile == nullptr)
        return kAudio_ParamError;
    *outExtAudioFile = nullptr;
    const __CFURL* url = vt::cf::url(inURL);
    if (url == nullptr)
        return kAudio_ParamError;
    if (!isRegularFile(url->path))
        return kAudio_FileNotFoundError;
    return guarded([&]() -> OSStatus {
        auto file = std::make_unique<OpaqueExtAudioFile>();
        if (!vt::platform::audiofile::decodeFile(url->path, file->file))
            return kAudioFileUnsupportedFileTypeError;
        *outExtAudioFile = file.release();
        return noErr;
    });
}

OSStatus ExtAudioFileDispose(ExtAudioFileRef inExtAudioFile)
{
    if (inExtAudioFile == nullptr)
        return kAudio_ParamError;
    delete inExtAudioFile;
    return noErr;
}

OSStatus ExtAudioFileSetProperty(ExtAudioFileRef file, ExtAudioFilePropertyID inPropertyID, UInt32 inPropertyDataSize,
                                 const void* inPropertyData)
{
    if (file == nullptr || inPropertyData == nullptr)
        return kAudio_ParamError;
    if (inPropertyID != kExtAudioFileProperty_ClientDataFormat)
        return kExtAudioFileError_InvalidProperty;
    if (inPropertyDataSize != sizeof(AudioStreamBasicDescription))
        return kExtAudioFileError_InvalidPropertySize;
    AudioStreamBasicDescription format;
    std::memcpy(&format, inPropertyData, sizeof format);
    if (!isSupportedClientFormat(format))
        return kExtAudioFileError_NonPCMClientFormat;
    return guarded([&]() -> OSStatus {
        // Until a conversion succeeds the file has no client format.
        file->clientSet = false;
        file->client = DecodedAudio{};
        // At the file's own rate the decoded copy is read as it is: a
        // second copy of a long sample would double its memory.
        file->clientConverted = vt::platform::audiofile::needsConversion(file->file, format.mSampleRate);
        if (file->clientConverted &&
            !vt::platform::audiofile::convertRate(file->file, format.mSampleRate, file->client))
            return kExtAudioFileError_InvalidDataFormat;
        file->clientFormat = format;
        file->clientSet = true;
        file->position = 0;
        return noErr;
    });
}

OSStatus ExtAudioFileGetProperty(ExtAudioFileRef file, ExtAudioFilePropertyID inPropertyID, UInt32* ioPropertyDataSize,
                                 void* outPropertyData)
{
    if (file == nullptr || ioPropertyDataSize == nullptr || outPropertyData == nullptr)
        return kAudio_ParamError;
    switch (inPropertyID) {
    case kExtAudioFileProperty_FileLengthFrames: {
        if (*ioPropertyDataSize != sizeof(SInt64))
            return kExtAudioFileError_InvalidPropertySize;
        const auto frames = static_cast<SInt64>(file->file.frames());
        std::memcpy(outPropertyData, &frames, sizeof frames);
        return noErr;
    }
    case kExtAudioFileProperty_FileDataFormat:
    case kExtAudioFileProperty_ClientDataFormat: {
        if (*ioPropertyDataSize != sizeof(AudioStreamBasicDescription))
            return kExtAudioFileError_InvalidPropertySize;
        const AudioStreamBasicDescription format =
            inPropertyID == kExtAudioFileProperty_FileDataFormat ? describe(file->file) : file->clientFormat;
        std::memcpy(outPropertyData, &format, sizeof format);
        return noErr;
    }
    default:
        return kExtAudioFileError_InvalidProperty;
    }
}

OSStatus ExtAudioFileRead(ExtAudioFileRef file, UInt32* ioNumberFrames, AudioBufferList* ioData)
{
    if (file == nullptr || ioNumberFrames == nullptr || ioData == nullptr)
        return kAudio_ParamError;
    if (!file->clientSet)
        return kExtAudioFileError_InvalidOperationOrder;
    const DecodedAudio& audio = file->clientAudio();
    size_t frames = *ioNumberFrames;
    frames = std::min(frames, audio.frames() - file->position);
    // Never more than any of the caller's buffers holds.
    for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b)
        frames = std::min<size_t>(frames, ioData->mBuffers[b].mDataByteSize / sizeof(float));
    for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
        AudioBuffer& buffer = ioData->mBuffers[b];
        if (buffer.mData == nullptr)
            return kAudio_ParamError;
        // A mono file fills every channel the client asked for.
        const int source = static_cast<int>(b) < audio.channelCount ? static_cast<int>(b) : 0;
        if (frames > 0)
            std::memcpy(buffer.mData, audio.channels[source].data() + file->position, frames * sizeof(float));
        buffer.mDataByteSize = static_cast<UInt32>(frames * sizeof(float));
    }
    file->position += frames;
    *ioNumberFrames = static_cast<UInt32>(frames);
    return noErr;
}

} // extern "C"
