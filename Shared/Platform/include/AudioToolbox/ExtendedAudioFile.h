// Extended audio file stand-in: decodes any file FFmpeg reads and delivers
// it in the client's format (32-bit float, non-interleaved, the client's
// rate and one or two channels).
//
// Thread contract: one file object is used by one thread at a time.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>
#include <CoreFoundation/CoreFoundation.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct OpaqueExtAudioFile* ExtAudioFileRef;
typedef UInt32 ExtAudioFilePropertyID;

enum {
    kExtAudioFileProperty_FileDataFormat = 0x66666D74,   // 'ffmt': AudioStreamBasicDescription
    kExtAudioFileProperty_ClientDataFormat = 0x63666D74, // 'cfmt': AudioStreamBasicDescription
    kExtAudioFileProperty_FileLengthFrames = 0x2366726D  // '#frm': SInt64, in the file's own rate
};

enum {
    kExtAudioFileError_InvalidProperty = -66561,
    kExtAudioFileError_InvalidPropertySize = -66562,
    kExtAudioFileError_NonPCMClientFormat = -66563,
    kExtAudioFileError_InvalidChannelMap = -66564,
    kExtAudioFileError_InvalidOperationOrder = -66565,
    kExtAudioFileError_InvalidDataFormat = -66566,
    kAudioFileUnspecifiedError = 0x7768743F,         // 'wht?'
    kAudioFileUnsupportedFileTypeError = 0x7479703F, // 'typ?'
    kAudioFileInvalidFileError = 0x64746121,         // 'dta!'
    kAudio_FileNotFoundError = -43
};

// Opens and decodes the whole file; the reference is null on any error.
OSStatus ExtAudioFileOpenURL(CFURLRef inURL, ExtAudioFileRef* outExtAudioFile);
OSStatus ExtAudioFileDispose(ExtAudioFileRef inExtAudioFile);
OSStatus ExtAudioFileSetProperty(ExtAudioFileRef inExtAudioFile, ExtAudioFilePropertyID inPropertyID,
                                 UInt32 inPropertyDataSize, const void* inPropertyData);
OSStatus ExtAudioFileGetProperty(ExtAudioFileRef inExtAudioFile, ExtAudioFilePropertyID inPropertyID,
                                 UInt32* ioPropertyDataSize, void* outPropertyData);
// Delivers up to *ioNumberFrames frames in the client format from the
// current position; *ioNumberFrames becomes the count delivered (0 at the end).
OSStatus ExtAudioFileRead(ExtAudioFileRef inExtAudioFile, UInt32* ioNumberFrames, AudioBufferList* ioData);

#ifdef __cplusplus
}
#endif
