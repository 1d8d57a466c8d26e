// Audio components and audio units: the hardware output unit that runs the
// stream on one audio device and calls a render callback once per buffer.
//
// Thread contract: finding, creating, configuring, initialising, starting
// and stopping a unit are main thread only. AudioUnitRender is audio
// thread, real-time safe, and only valid inside the unit's render callback.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>

#ifdef __cplusplus
extern "C" {
#endif

// ------------------------------------------------------ components
typedef struct OpaqueAudioComponent* AudioComponent;
typedef struct OpaqueAudioComponentInstance* AudioComponentInstance;
typedef AudioComponentInstance AudioUnit;

typedef struct AudioComponentDescription {
    OSType componentType;
    OSType componentSubType;
    OSType componentManufacturer;
    UInt32 componentFlags;
    UInt32 componentFlagsMask;
} AudioComponentDescription;

enum {
    kAudioUnitType_Output = 0x61756F75,           // 'auou'
    kAudioUnitSubType_HALOutput = 0x6168616C,     // 'ahal'
    kAudioUnitSubType_DefaultOutput = 0x64656620, // 'def '
    kAudioUnitManufacturer_Apple = 0x6170706C,    // 'appl'
};

// The next component after inComponent (NULL: the first) that matches the
// description; zero fields match anything.
AudioComponent AudioComponentFindNext(AudioComponent inComponent, const AudioComponentDescription* inDesc);
OSStatus AudioComponentInstanceNew(AudioComponent inComponent, AudioComponentInstance* outInstance);
OSStatus AudioComponentInstanceDispose(AudioComponentInstance inInstance);

// ------------------------------------------------------ properties
typedef UInt32 AudioUnitPropertyID;
typedef UInt32 AudioUnitScope;
typedef UInt32 AudioUnitElement;
typedef UInt32 AudioUnitRenderActionFlags;

enum {
    kAudioUnitScope_Global = 0,
    kAudioUnitScope_Input = 1,
    kAudioUnitScope_Output = 2,
};

enum {
    kAudioUnitProperty_StreamFormat = 8,           // AudioStreamBasicDescription
    kAudioUnitProperty_MaximumFramesPerSlice = 14, // UInt32
    kAudioUnitProperty_SetRenderCallback = 23,     // AURenderCallbackStruct
    kAudioOutputUnitProperty_CurrentDevice = 2000, // AudioObjectID
    kAudioOutputUnitProperty_EnableIO = 2003,      // UInt32, 0 or 1
};

enum {
    kAudioUnitRenderAction_PreRender = (1U << 2),
    kAudioUnitRenderAction_PostRender = (1U << 3),
    kAudioUnitRenderAction_OutputIsSilence = (1U << 4),
};

typedef OSStatus (*AURenderCallback)(void* inRefCon, AudioUnitRenderActionFlags* ioActionFlags,
                                     const AudioTimeStamp* inTimeStamp, UInt32 inBusNumber, UInt32 inNumberFrames,
                                     AudioBufferList* ioData);

typedef struct AURenderCallbackStruct {
    AURenderCallback inputProc;
    void* inputProcRefCon;
} AURenderCallbackStruct;

// ------------------------------------------------------ status codes
enum {
    kAudioUnitErr_InvalidProperty = -10879,
    kAudioUnitErr_InvalidParameter = -10878,
    kAudioUnitErr_InvalidElement = -10877,
    kAudioUnitErr_NoConnection = -10876,
    kAudioUnitErr_FailedInitialization = -10875,
    kAudioUnitErr_TooManyFramesToProcess = -10874,
    kAudioUnitErr_FormatNotSupported = -10868,
    kAudioUnitErr_Uninitialized = -10867,
    kAudioUnitErr_InvalidScope = -10866,
    kAudioUnitErr_CannotDoInCurrentContext = -10863,
    kAudioUnitErr_InvalidPropertyValue = -10851,
    kAudioOutputUnitErr_InvalidDevice = -66753,
};

// ------------------------------------------------------ unit calls
OSStatus AudioUnitSetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, const void* inData, UInt32 inDataSize);
OSStatus AudioUnitGetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, void* outData, UInt32* ioDataSize);
OSStatus AudioUnitInitialize(AudioUnit inUnit);
OSStatus AudioUnitUninitialize(AudioUnit inUnit);
OSStatus AudioOutputUnitStart(AudioUnit ci);
OSStatus AudioOutputUnitStop(AudioUnit ci);
// Pulls the input of element 1 (the device's input) into ioData.
OSStatus AudioUnitRender(AudioUnit inUnit, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* inTimeStamp,
                         UInt32 inOutputBusNumber, UInt32 inNumberFrames, AudioBufferList* ioData);

#ifdef __cplusplus
} // extern "C"

static_assert(sizeof(AudioComponentDescription) == 20, "component description is 20 bytes");
static_assert(sizeof(AURenderCallbackStruct) == 16, "render callback record is 16 bytes");
#endif
