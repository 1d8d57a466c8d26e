// The hardware output unit of the Audio Toolbox stand-in: runs a render
// callback once per buffer of the device it is set to, pulls that device's
// input on request and plays the callback's buffers on the device's
// outputs, buffer i on output channel i.
#include <AudioToolbox/AudioToolbox.h>
#include <mach/mach_time.h>

#include "../CoreAudio/AudioProvider.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

using vt::platform::audio::IOCycle;

struct OpaqueAudioComponent {
    AudioComponentDescription description;
};

namespace {

// The one component this stand-in offers.
OpaqueAudioComponent halOutput{
    {kAudioUnitType_Output, kAudioUnitSubType_HALOutput, kAudioUnitManufacturer_Apple, 0, 0}};

// Buffers larger than this are refused unless the unit is told otherwise.
constexpr UInt32 kDefaultMaximumFrames = 4096;

bool usableFormat(const AudioStreamBasicDescription& format)
{
    // The stand-in renders 32-bit float, one buffer per channel, only.
    return format.mFormatID == kAudioFormatLinearPCM && (format.mFormatFlags & kAudioFormatFlagIsFloat) != 0 &&
           (format.mFormatFlags & kAudioFormatFlagIsNonInterleaved) != 0 && format.mBitsPerChannel == 32 &&
           format.mChannelsPerFrame > 0 && format.mSampleRate > 0;
}

} // namespace

struct OpaqueAudioComponentInstance final : vt::platform::audio::IOClient {
    // ---- configuration, main thread
    UInt32 outputEnabled = 1;
    UInt32 inputEnabled = 0;
    AURenderCallbackStruct callback{};
    AudioStreamBasicDescription programFormat{};  // input scope, element 0
    AudioStreamBasicDescription deviceInFormat{}; // output scope, element 1
    AudioObjectID device = kAudioObjectUnknown;   // unknown: the default output
    UInt32 maximumFrames = kDefaultMaximumFrames;
    bool initialized = false;
    bool started = false;
    AudioObjectID runningOn = kAudioObjectUnknown;

    // ---- render state, made by AudioUnitInitialize
    UInt32 bufferCount = 0;
    UInt32 deviceInputChannels = 0;
    std::vector<float> samples;
    std::vector<std::max_align_t> listStorage;
    AudioBufferList* list = nullptr;

    // ---- audio thread
    const IOCycle* current = nullptr;
    Float64 sampleTime = 0;
    // Channel pointers of one slice of a cycle longer than the unit's
    // buffers, made by AudioUnitInitialize for the device's channels.
    std::vector<const float*> sliceInput;
    std::vector<float*> sliceOutput;

    OSStatus initialize();
    OSStatus ioCycle(const IOCycle& cycle) override;
    OSStatus runCycle(const IOCycle& cycle);
    bool usesInput() const override { return inputEnabled != 0; }
    OSStatus pullInput(UInt32 frames, AudioBufferList* ioData) const;
};

OSStatus OpaqueAudioComponentInstance::initialize()
{
    AudioObjectID target = device;
    if (target == kAudioObjectUnknown) {
        AudioObjectPropertyAddress address{kAudioHardwarePropertyDefaultOutputDevice, kAudioObjectPropertyScopeGlobal,
                                           kAudioObjectPropertyElementMain};
        UInt32 size = sizeof target;
        if (AudioObjectGetPropertyData(kAudioObjectSystemObject, &address, 0, nullptr, &size, &target) != noErr)
            return kAudioOutputUnitErr_InvalidDevice;
    }
    auto dev = vt::platform::audio::findDevice(target);
    if (dev == nullptr)
        return kAudioOutputUnitErr_InvalidDevice;
    // An output unit plays: a device without outputs, or a unit with its
    // output disabled, has nothing to run; enabled input needs input.
    if (outputEnabled == 0 || dev->channelCount(false) == 0)
        return kAudioUnitErr_FailedInitialization;
    deviceInputChannels = dev->channelCount(true);
    if (inputEnabled != 0 && deviceInputChannels == 0)
        return kAudioUnitErr_FailedInitialization;

    // ---- the buffer list the callback receives: one buffer per channel of
    // the program's format (the device's outputs when none was set)
    bufferCount = programFormat.mChannelsPerFrame != 0 ? programFormat.mChannelsPerFrame : dev->channelCount(false);
    UInt32 frames = std::max(maximumFrames, dev->bufferFrameSize());
    samples.assign(static_cast<size_t>(bufferCount) * frames, 0.0f);
    size_t listBytes = offsetof(AudioBufferList, mBuffers) + bufferCount * sizeof(AudioBuffer);
    listStorage.assign((listBytes + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t), std::max_align_t{});
    list = reinterpret_cast<AudioBufferList*>(listStorage.data());
    list->mNumberBuffers = bufferCount;
    maximumFrames = frames;
    sliceInput.assign(deviceInputChannels, nullptr);
    sliceOutput.assign(dev->channelCount(false), nullptr);
    sampleTime = 0;
    runningOn = target;
    initialized = true;
    return noErr;
}

// Per-cycle code is marked hot, so that it is kept together with the rest.
[[gnu::hot]] OSStatus OpaqueAudioComponentInstance::ioCycle(const IOCycle& cycle)
{
    const bool sliceable = cycle.inputChannels <= sliceInput.size() && cycle.outputChannels <= sliceOutput.size() &&
                           (cycle.input != nullptr || cycle.inputChannels == 0);
    if (cycle.frames <= maximumFrames || list == nullptr || !sliceable)
        return runCycle(cycle);
    // A device buffer longer than the unit's (the device changed its buffer
    // size after the unit was initialised) is rendered in slices, as the
    // hardware unit does, rather than muted.
    OSStatus status = noErr;
    for (UInt32 done = 0; done < cycle.frames; done += maximumFrames) {
        IOCycle part = cycle;
        part.frames = cycle.frames - done < maximumFrames ? cycle.frames - done : maximumFrames;
        for (UInt32 c = 0; c < cycle.inputChannels; ++c)
            sliceInput[c] = cycle.input[c] + done;
        for (UInt32 c = 0; c < cycle.outputChannels; ++c)
            sliceOutput[c] = cycle.output[c] + done;
        part.input = cycle.inputChannels != 0 ? sliceInput.data() : cycle.input;
        part.output = sliceOutput.data();
        const OSStatus sliceStatus = runCycle(part);
        if (status == noErr)
            status = sliceStatus;
    }
    return status;
}

[[gnu::hot]] OSStatus OpaqueAudioComponentInstance::runCycle(const IOCycle& cycle)
{
    auto silenceDevice = [&cycle] {
        for (UInt32 c = 0; c < cycle.outputChannels; ++c)
            std::memset(cycle.output[c], 0, cycle.frames * sizeof(float));
    };
    if (cycle.frames == 0 || cycle.frames > maximumFrames || list == nullptr) {
        silenceDevice();
        return kAudioUnitErr_TooManyFramesToProcess;
    }
    // ---- hand the program this cycle's buffers; they keep whatever the
    // last cycle left in them, as real hardware buffers do. When every
    // buffer has an output channel the program renders straight into the
    // device's buffers: copying into memory the server reads on another
    // core costs more than a small plug-in's own work at short periods.
    const bool intoDevice = bufferCount <= cycle.outputChannels;
    for (UInt32 i = 0; i < bufferCount; ++i)
        list->mBuffers[i] =
            AudioBuffer{1, cycle.frames * static_cast<UInt32>(sizeof(float)),
                        intoDevice ? cycle.output[i] : samples.data() + static_cast<size_t>(i) * maximumFrames};
    list->mNumberBuffers = bufferCount;

    AudioTimeStamp timeStamp{};
    timeStamp.mSampleTime = sampleTime;
    timeStamp.mHostTime = cycle.hostTime != 0 ? cycle.hostTime : mach_absolute_time();
    timeStamp.mRateScalar = 1.0;
    timeStamp.mFlags = kAudioTimeStampSampleHostTimeValid | kAudioTimeStampRateScalarValid;
    sampleTime += cycle.frames;

    AudioUnitRenderActionFlags flags = 0;
    OSStatus status = noErr;
    current = &cycle;
    if (callback.inputProc != nullptr)
        status = callback.inputProc(callback.inputProcRefCon, &flags, &timeStamp, 0, cycle.frames, list);
    current = nullptr;
    if (status != noErr || callback.inputProc == nullptr) {
        silenceDevice();
        return status;
    }

    // ---- play buffer i on output channel i; outputs without a buffer are silent
    for (UInt32 c = 0; c < cycle.outputChannels; ++c) {
        const AudioBuffer* buffer = c < list->mNumberBuffers ? &list->mBuffers[c] : nullptr;
        const bool valid =
            buffer != nullptr && buffer->mData != nullptr && buffer->mDataByteSize >= cycle.frames * sizeof(float);
        if (valid && buffer->mData == cycle.output[c])
            continue; // rendered in place
        if (valid)
            std::memcpy(cycle.output[c], buffer->mData, cycle.frames * sizeof(float));
        else
            std::memset(cycle.output[c], 0, cycle.frames * sizeof(float));
    }
    return noErr;
}

[[gnu::hot]] OSStatus OpaqueAudioComponentInstance::pullInput(UInt32 frames, AudioBufferList* ioData) const
{
    if (current == nullptr)
        return kAudioUnitErr_CannotDoInCurrentContext;
    if (inputEnabled == 0)
        return kAudioUnitErr_NoConnection;
    if (ioData == nullptr || frames != current->frames)
        return kAudio_ParamError;
    if (current->inputStatus != noErr)
        return current->inputStatus;
    const size_t bytes = frames * sizeof(float);
    for (UInt32 i = 0; i < ioData->mNumberBuffers; ++i) {
        AudioBuffer& buffer = ioData->mBuffers[i];
        if (buffer.mData == nullptr || buffer.mDataByteSize < bytes)
            return kAudio_ParamError;
        // Buffer i is input channel i; buffers beyond the device's inputs are silent.
        if (i < current->inputChannels)
            std::memcpy(buffer.mData, current->input[i], bytes);
        else
            std::memset(buffer.mData, 0, bytes);
    }
    return noErr;
}

extern "C" {

AudioComponent AudioComponentFindNext(AudioComponent inComponent, const AudioComponentDescription* inDesc)
{
    if (inComponent != nullptr || inDesc == nullptr)
        return nullptr;
    const AudioComponentDescription& have = halOutput.description;
    auto matches = [](OSType wanted, OSType offered) { return wanted == 0 || wanted == offered; };
    if (matches(inDesc->componentType, have.componentType) &&
        matches(inDesc->componentSubType, have.componentSubType) &&
        matches(inDesc->componentManufacturer, have.componentManufacturer))
        return &halOutput;
    return nullptr;
}

OSStatus AudioComponentInstanceNew(AudioComponent inComponent, AudioComponentInstance* outInstance)
{
    if (inComponent != &halOutput || outInstance == nullptr)
        return kAudio_ParamError;
    *outInstance = new OpaqueAudioComponentInstance;
    return noErr;
}

OSStatus AudioComponentInstanceDispose(AudioComponentInstance inInstance)
{
    if (inInstance == nullptr)
        return kAudio_ParamError;
    AudioUnitUninitialize(inInstance);
    delete inInstance;
    return noErr;
}

OSStatus AudioUnitSetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, const void* inData, UInt32 inDataSize)
{
    if (inUnit == nullptr || inData == nullptr)
        return kAudio_ParamError;
    AudioUnit unit = inUnit;
    switch (inID) {
    case kAudioOutputUnitProperty_EnableIO: {
        if (inDataSize != sizeof(UInt32))
            return kAudioUnitErr_InvalidPropertyValue;
        if (unit->initialized)
            return kAudioUnitErr_CannotDoInCurrentContext;
        UInt32 value = *static_cast<const UInt32*>(inData) != 0 ? 1 : 0;
        // Element 0 is the device's output, element 1 its input.
        if (inScope == kAudioUnitScope_Output && inElement == 0)
            unit->outputEnabled = value;
        else if (inScope == kAudioUnitScope_Input && inElement == 1)
            unit->inputEnabled = value;
        else
            return kAudioUnitErr_InvalidElement;
        return noErr;
    }
    case kAudioUnitProperty_SetRenderCallback:
        if (inDataSize != sizeof(AURenderCallbackStruct))
            return kAudioUnitErr_InvalidPropertyValue;
        if (inElement != 0 || (inScope != kAudioUnitScope_Input && inScope != kAudioUnitScope_Global))
            return kAudioUnitErr_InvalidScope;
        if (unit->initialized)
            return kAudioUnitErr_CannotDoInCurrentContext;
        unit->callback = *static_cast<const AURenderCallbackStruct*>(inData);
        return noErr;
    case kAudioUnitProperty_StreamFormat: {
        if (inDataSize != sizeof(AudioStreamBasicDescription))
            return kAudioUnitErr_InvalidPropertyValue;
        const auto& format = *static_cast<const AudioStreamBasicDescription*>(inData);
        if (!usableFormat(format))
            return kAudioUnitErr_FormatNotSupported;
        if (unit->initialized)
            return kAudioUnitErr_CannotDoInCurrentContext;
        if (inScope == kAudioUnitScope_Input && inElement == 0)
            unit->programFormat = format;
        else if (inScope == kAudioUnitScope_Output && inElement == 1)
            unit->deviceInFormat = format;
        else
            return kAudioUnitErr_InvalidElement;
        return noErr;
    }
    case kAudioOutputUnitProperty_CurrentDevice: {
        if (inDataSize != sizeof(AudioObjectID))
            return kAudioUnitErr_InvalidPropertyValue;
        if (inScope != kAudioUnitScope_Global || inElement != 0)
            return kAudioUnitErr_InvalidScope;
        if (unit->initialized)
            return kAudioUnitErr_CannotDoInCurrentContext;
        AudioObjectID id = *static_cast<const AudioObjectID*>(inData);
        if (vt::platform::audio::findDevice(id) == nullptr)
            return kAudioOutputUnitErr_InvalidDevice;
        unit->device = id;
        return noErr;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
        if (inDataSize != sizeof(UInt32) || *static_cast<const UInt32*>(inData) == 0)
            return kAudioUnitErr_InvalidPropertyValue;
        if (unit->initialized)
            return kAudioUnitErr_CannotDoInCurrentContext;
        unit->maximumFrames = *static_cast<const UInt32*>(inData);
        return noErr;
    default:
        return kAudioUnitErr_InvalidProperty;
    }
}

OSStatus AudioUnitGetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, void* outData, UInt32* ioDataSize)
{
    if (inUnit == nullptr || outData == nullptr || ioDataSize == nullptr)
        return kAudio_ParamError;
    auto give = [&](const auto& value) -> OSStatus {
        if (*ioDataSize < sizeof value)
            return kAudioUnitErr_InvalidPropertyValue;
        std::memcpy(outData, &value, sizeof value);
        *ioDataSize = sizeof value;
        return noErr;
    };
    switch (inID) {
    case kAudioOutputUnitProperty_EnableIO:
        if (inScope == kAudioUnitScope_Output && inElement == 0)
            return give(inUnit->outputEnabled);
        if (inScope == kAudioUnitScope_Input && inElement == 1)
            return give(inUnit->inputEnabled);
        return kAudioUnitErr_InvalidElement;
    case kAudioUnitProperty_StreamFormat:
        if (inScope == kAudioUnitScope_Input && inElement == 0)
            return give(inUnit->programFormat);
        if (inScope == kAudioUnitScope_Output && inElement == 1)
            return give(inUnit->deviceInFormat);
        return kAudioUnitErr_InvalidElement;
    case kAudioOutputUnitProperty_CurrentDevice:
        return give(inUnit->device);
    case kAudioUnitProperty_MaximumFramesPerSlice:
        return give(inUnit->maximumFrames);
    default:
        return kAudioUnitErr_InvalidProperty;
    }
}

OSStatus AudioUnitInitialize(AudioUnit inUnit)
{
    if (inUnit == nullptr)
        return kAudio_ParamError;
    if (inUnit->initialized)
        return noErr;
    return inUnit->initialize();
}

OSStatus AudioUnitUninitialize(AudioUnit inUnit)
{
    if (inUnit == nullptr)
        return kAudio_ParamError;
    AudioOutputUnitStop(inUnit);
    inUnit->initialized = false;
    return noErr;
}

OSStatus AudioOutputUnitStart(AudioUnit ci)
{
    if (ci == nullptr)
        return kAudio_ParamError;
    if (!ci->initialized)
        return kAudioUnitErr_Uninitialized;
    auto dev = vt::platform::audio::findDevice(ci->runningOn);
    if (dev == nullptr)
        return kAudioOutputUnitErr_InvalidDevice;
    if (ci->started)
        return noErr;
    if (!dev->startIO(ci))
        return kAudioHardwareNotRunningError;
    ci->started = true;
    return noErr;
}

OSStatus AudioOutputUnitStop(AudioUnit ci)
{
    if (ci == nullptr)
        return kAudio_ParamError;
    // A device that has gone away no longer runs the unit.
    if (ci->started)
        if (auto dev = vt::platform::audio::findDevice(ci->runningOn))
            dev->stopIO();
    ci->started = false;
    return noErr;
}

[[gnu::hot]] OSStatus AudioUnitRender(AudioUnit inUnit, AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                                      UInt32 inOutputBusNumber, UInt32 inNumberFrames, AudioBufferList* ioData)
{
    if (inUnit == nullptr)
        return kAudio_ParamError;
    if (inOutputBusNumber != 1)
        return kAudioUnitErr_InvalidElement;
    return inUnit->pullInput(inNumberFrames, ioData);
}

} // extern "C"
