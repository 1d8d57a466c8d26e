// Core Audio data types shared by the hardware layer, the audio units and
// the audio file services: stream descriptions, buffer lists, time stamps.
// Records keep the macOS layout on x86-64 (checked below).
#pragma once

#include <MacTypes.h>

#ifdef __cplusplus
extern "C" {
#endif

// ------------------------------------------------------ stream format
typedef UInt32 AudioFormatID;
typedef UInt32 AudioFormatFlags;

typedef struct AudioStreamBasicDescription {
    Float64 mSampleRate;
    AudioFormatID mFormatID;
    AudioFormatFlags mFormatFlags;
    UInt32 mBytesPerPacket;
    UInt32 mFramesPerPacket;
    UInt32 mBytesPerFrame;
    UInt32 mChannelsPerFrame;
    UInt32 mBitsPerChannel;
    UInt32 mReserved;
} AudioStreamBasicDescription;

enum {
    kAudioFormatLinearPCM = 0x6C70636D, // 'lpcm'
};

enum {
    kAudioFormatFlagIsFloat = (1U << 0),
    kAudioFormatFlagIsBigEndian = (1U << 1),
    kAudioFormatFlagIsSignedInteger = (1U << 2),
    kAudioFormatFlagIsPacked = (1U << 3),
    kAudioFormatFlagIsAlignedHigh = (1U << 4),
    kAudioFormatFlagIsNonInterleaved = (1U << 5),
    kAudioFormatFlagIsNonMixable = (1U << 6),
    kLinearPCMFormatFlagIsFloat = kAudioFormatFlagIsFloat,
    kLinearPCMFormatFlagIsBigEndian = kAudioFormatFlagIsBigEndian,
    kLinearPCMFormatFlagIsSignedInteger = kAudioFormatFlagIsSignedInteger,
    kLinearPCMFormatFlagIsPacked = kAudioFormatFlagIsPacked,
    kLinearPCMFormatFlagIsNonInterleaved = kAudioFormatFlagIsNonInterleaved,
    kAudioFormatFlagsNativeFloatPacked = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked,
};

// ------------------------------------------------------ buffers
typedef struct AudioBuffer {
    UInt32 mNumberChannels;
    UInt32 mDataByteSize;
    void* mData;
} AudioBuffer;

// A variable-length record: mNumberBuffers entries follow in mBuffers.
typedef struct AudioBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[1];
} AudioBufferList;

// ------------------------------------------------------ time stamps
typedef struct SMPTETime {
    SInt16 mSubframes;
    SInt16 mSubframeDivisor;
    UInt32 mCounter;
    UInt32 mType;
    UInt32 mFlags;
    SInt16 mHours;
    SInt16 mMinutes;
    SInt16 mSeconds;
    SInt16 mFrames;
} SMPTETime;

typedef UInt32 AudioTimeStampFlags;
enum {
    kAudioTimeStampNothingValid = 0,
    kAudioTimeStampSampleTimeValid = (1U << 0),
    kAudioTimeStampHostTimeValid = (1U << 1),
    kAudioTimeStampRateScalarValid = (1U << 2),
    kAudioTimeStampSampleHostTimeValid = kAudioTimeStampSampleTimeValid | kAudioTimeStampHostTimeValid,
};

typedef struct AudioTimeStamp {
    Float64 mSampleTime;
    UInt64 mHostTime;
    Float64 mRateScalar;
    UInt64 mWordClockTime;
    SMPTETime mSMPTETime;
    AudioTimeStampFlags mFlags;
    UInt32 mReserved;
} AudioTimeStamp;

// A generic parameter error, shared by every audio service.
enum { kAudio_ParamError = -50 };

#ifdef __cplusplus
} // extern "C"

static_assert(sizeof(AudioStreamBasicDescription) == 40, "stream description is 40 bytes");
static_assert(sizeof(AudioBuffer) == 16, "buffer record is 16 bytes");
static_assert(sizeof(AudioBufferList) == 24, "buffer list with one buffer is 24 bytes");
static_assert(sizeof(SMPTETime) == 24, "SMPTE time is 24 bytes");
static_assert(sizeof(AudioTimeStamp) == 64, "time stamp is 64 bytes");
#endif
