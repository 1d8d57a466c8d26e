// Core Audio hardware stand-in: audio objects and their properties, with
// the macOS names, values and ownership rules (a property that hands out a
// CFStringRef hands out a +1 reference the caller releases).
//
// Devices come from providers behind this layer (virtual devices that tests
// define, JACK, the built-in null device); see CoreAudio/AudioProvider.h.
//
// Thread contract: every call here is main thread only, as the system uses
// it; the audio thread never touches audio object properties.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>
#include <CoreFoundation/CoreFoundation.h>

#ifdef __cplusplus
extern "C" {
#endif

// ------------------------------------------------------ objects
typedef UInt32 AudioObjectID;
typedef AudioObjectID AudioDeviceID;
typedef UInt32 AudioObjectPropertySelector;
typedef UInt32 AudioObjectPropertyScope;
typedef UInt32 AudioObjectPropertyElement;

typedef struct AudioObjectPropertyAddress {
    AudioObjectPropertySelector mSelector;
    AudioObjectPropertyScope mScope;
    AudioObjectPropertyElement mElement;
} AudioObjectPropertyAddress;

// Translates an input value (here: a bundle ID string) into an output value
// (here: an audio object); 32 bytes on x86-64.
typedef struct AudioValueTranslation {
    void* mInputData;
    UInt32 mInputDataSize;
    void* mOutputData;
    UInt32 mOutputDataSize;
} AudioValueTranslation;

enum {
    kAudioObjectUnknown = 0,
    kAudioObjectSystemObject = 1,
};

enum {
    kAudioObjectPropertyScopeGlobal = 0x676C6F62, // 'glob'
    kAudioObjectPropertyScopeInput = 0x696E7074,  // 'inpt'
    kAudioObjectPropertyScopeOutput = 0x6F757470, // 'outp'
    kAudioDevicePropertyScopeInput = kAudioObjectPropertyScopeInput,
    kAudioDevicePropertyScopeOutput = kAudioObjectPropertyScopeOutput,
};

enum {
    kAudioObjectPropertyElementMain = 0,
    kAudioObjectPropertyElementMaster = kAudioObjectPropertyElementMain,
};

// ------------------------------------------------------ selectors
enum {
    // audio objects
    kAudioObjectPropertyName = 0x6C6E616D, // 'lnam': CFStringRef
    // system object
    kAudioHardwarePropertyDevices = 0x64657623,             // 'dev#': AudioObjectID[]
    kAudioHardwarePropertyDefaultInputDevice = 0x64496E20,  // 'dIn ': AudioObjectID
    kAudioHardwarePropertyDefaultOutputDevice = 0x644F7574, // 'dOut': AudioObjectID
    kAudioHardwarePropertyPlugInForBundleID = 0x70696269,   // 'pibi': AudioValueTranslation
    // devices
    kAudioDevicePropertyDeviceUID = 0x75696420,           // 'uid ': CFStringRef
    kAudioDevicePropertyTransportType = 0x7472616E,       // 'tran': UInt32
    kAudioDevicePropertyStreamConfiguration = 0x736C6179, // 'slay': AudioBufferList
    kAudioDevicePropertyStreamFormat = 0x73666D74,        // 'sfmt': AudioStreamBasicDescription
    kAudioDevicePropertyBufferFrameSize = 0x6673697A,     // 'fsiz': UInt32
    kAudioDevicePropertyNominalSampleRate = 0x6E737274,   // 'nsrt': Float64
    // the audio plug-in that makes aggregate devices
    kAudioPlugInCreateAggregateDevice = 0x63616767,  // 'cagg': qualifier CFDictionaryRef -> AudioObjectID
    kAudioPlugInDestroyAggregateDevice = 0x64616767, // 'dagg': AudioObjectID
    // aggregate devices
    kAudioAggregateDevicePropertyFullSubDeviceList = 0x67727570,   // 'grup': CFArrayRef of UIDs
    kAudioAggregateDevicePropertyActiveSubDeviceList = 0x61677270, // 'agrp': AudioObjectID[]
    kAudioAggregateDevicePropertyMasterSubDevice = 0x616D7374,     // 'amst': CFStringRef UID
};

// ------------------------------------------------------ transport types
enum {
    kAudioDeviceTransportTypeUnknown = 0,
    kAudioDeviceTransportTypeBuiltIn = 0x626C746E,   // 'bltn'
    kAudioDeviceTransportTypeAggregate = 0x67727570, // 'grup'
    kAudioDeviceTransportTypeVirtual = 0x76697274,   // 'virt'
    kAudioDeviceTransportTypeUSB = 0x75736220,       // 'usb '
    kAudioDeviceTransportTypeFireWire = 0x31333934,  // '1394'
    kAudioDeviceTransportTypePCI = 0x70636920,       // 'pci '
};

// ------------------------------------------------------ aggregate keys
#define kAudioAggregateDeviceNameKey "name"
#define kAudioAggregateDeviceUIDKey "uid"
#define kAudioAggregateDeviceIsPrivateKey "private"
#define kAudioAggregateDeviceSubDeviceListKey "subdevices"
#define kAudioAggregateDeviceMasterSubDeviceKey "master"

// ------------------------------------------------------ status codes
enum {
    kAudioHardwareNoError = 0,
    kAudioHardwareNotRunningError = 0x73746F70,           // 'stop'
    kAudioHardwareUnspecifiedError = 0x77686174,          // 'what'
    kAudioHardwareUnknownPropertyError = 0x77686F3F,      // 'who?'
    kAudioHardwareBadPropertySizeError = 0x2173697A,      // '!siz'
    kAudioHardwareIllegalOperationError = 0x6E6F7065,     // 'nope'
    kAudioHardwareBadObjectError = 0x216F626A,            // '!obj'
    kAudioHardwareBadDeviceError = 0x21646576,            // '!dev'
    kAudioHardwareUnsupportedOperationError = 0x756E6F70, // 'unop'
    kAudioDeviceUnsupportedFormatError = 0x21646174,      // '!dat'
};

// ------------------------------------------------------ calls
Boolean AudioObjectHasProperty(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress);
OSStatus AudioObjectGetPropertyDataSize(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                        UInt32 inQualifierDataSize, const void* inQualifierData, UInt32* outDataSize);
OSStatus AudioObjectGetPropertyData(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                    UInt32 inQualifierDataSize, const void* inQualifierData, UInt32* ioDataSize,
                                    void* outData);
OSStatus AudioObjectSetPropertyData(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                    UInt32 inQualifierDataSize, const void* inQualifierData, UInt32 inDataSize,
                                    const void* inData);

#ifdef __cplusplus
} // extern "C"

static_assert(sizeof(AudioObjectPropertyAddress) == 12, "property address is 12 bytes");
static_assert(sizeof(AudioValueTranslation) == 32, "translation record is 32 bytes");
#endif
