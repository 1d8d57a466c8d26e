#include "VTCoreAudio.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Every Core Audio device belongs to this driver family.
constexpr uint32_t kCoreAudioDeviceType = 16;
// Input entries report this buffer size; the stream runs at the output's.
constexpr uint32_t kInputBufferSize = 1024;
// Time the platform gets to publish a new or removed aggregate device.
constexpr CFTimeInterval kAggregatePause = 0.1;
// Room for 32 sub-device identifiers.
constexpr UInt32 kSubDeviceListBytes = 128;

AudioObjectPropertyAddress address(AudioObjectPropertySelector selector,
                                   AudioObjectPropertyScope scope = kAudioObjectPropertyScopeGlobal)
{
    return AudioObjectPropertyAddress{selector, scope, kAudioObjectPropertyElementMain};
}

template <typename T>
bool readValue(AudioObjectID object, AudioObjectPropertySelector selector, T& value,
               AudioObjectPropertyScope scope = kAudioObjectPropertyScopeGlobal)
{
    AudioObjectPropertyAddress where = address(selector, scope);
    UInt32 size = sizeof(T);
    return AudioObjectGetPropertyData(object, &where, 0, nullptr, &size, &value) == noErr;
}

void pauseForPlatform()
{
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, kAggregatePause, false);
}

enum class ChannelCount { Ok, SkipDevice, EndEnumeration };

// Sum of the channels of every buffer the device has in one scope.
ChannelCount countChannels(AudioObjectID device, AudioObjectPropertyScope scope, uint32_t& channels)
{
    channels = 0;
    AudioObjectPropertyAddress where = address(kAudioDevicePropertyStreamConfiguration, scope);
    UInt32 size = 0;
    if (AudioObjectGetPropertyDataSize(device, &where, 0, nullptr, &size) != noErr)
        return ChannelCount::SkipDevice;
    auto* list =
        static_cast<AudioBufferList*>(std::malloc(size < sizeof(AudioBufferList) ? sizeof(AudioBufferList) : size));
    if (list == nullptr)
        return ChannelCount::EndEnumeration;
    std::memset(list, 0, size < sizeof(AudioBufferList) ? sizeof(AudioBufferList) : size);
    ChannelCount result = ChannelCount::SkipDevice;
    if (AudioObjectGetPropertyData(device, &where, 0, nullptr, &size, list) == noErr) {
        // Count only the buffers the returned bytes really hold.
        size_t room = size < offsetof(AudioBufferList, mBuffers)
                          ? 0
                          : (size - offsetof(AudioBufferList, mBuffers)) / sizeof(AudioBuffer);
        size_t buffers = list->mNumberBuffers < room ? list->mNumberBuffers : room;
        for (size_t i = 0; i < buffers; ++i)
            channels += list->mBuffers[i].mNumberChannels;
        result = ChannelCount::Ok;
    }
    std::free(list);
    return result;
}

// The name as UTF-8: the string's own buffer when it has one, else a
// conversion into 512 bytes; empty when neither works.
bool convertName(CFStringRef name, std::string& text)
{
    if (name == nullptr)
        return false;
    if (const char* direct = CFStringGetCStringPtr(name, kCFStringEncodingUTF8)) {
        text = direct;
        return true;
    }
    char buffer[512] = {};
    if (!CFStringGetCString(name, buffer, sizeof buffer, kCFStringEncodingUTF8))
        return false;
    text = buffer;
    return true;
}

VTAudioDevice* makeEntry(AudioObjectID id, bool isInput, uint32_t channels, CFStringRef name)
{
    auto* device = new VTAudioDevice;
    device->id = id;
    device->type = kCoreAudioDeviceType;
    device->isInput = isInput;
    device->channels = static_cast<uint16_t>(channels);
    if (!convertName(name, device->name))
        device->name = isInput ? "Unknown Input Device" : "Unknown Output Device";
    const char* prefix = isInput ? "In " : "Out ";
    device->channelNames.reserve(channels);
    for (uint32_t c = 1; c <= channels; ++c)
        device->channelNames.push_back(prefix + std::to_string(c));
    return device;
}

// The audio plug-in that makes aggregate devices, or 0.
AudioObjectID findAudioPlugIn()
{
    AudioObjectPropertyAddress devices = address(kAudioHardwarePropertyDevices);
    UInt32 size = 0;
    if (AudioObjectGetPropertyDataSize(kAudioObjectSystemObject, &devices, 0, nullptr, &size) != noErr)
        return 0;
    CFStringRef bundleID = CFSTR("com.apple.audio.CoreAudio");
    AudioObjectID plugIn = 0;
    AudioValueTranslation translation{&bundleID, sizeof(CFStringRef), &plugIn, sizeof(AudioObjectID)};
    AudioObjectPropertyAddress where = address(kAudioHardwarePropertyPlugInForBundleID);
    size = sizeof translation;
    if (AudioObjectGetPropertyData(kAudioObjectSystemObject, &where, 0, nullptr, &size, &translation) != noErr)
        return 0;
    return plugIn;
}

// The device itself, or its active sub-devices when it is an aggregate.
std::vector<AudioObjectID> subDevicesOf(AudioObjectID device)
{
    AudioObjectID ids[kSubDeviceListBytes / sizeof(AudioObjectID)] = {};
    AudioObjectPropertyAddress where = address(kAudioAggregateDevicePropertyActiveSubDeviceList);
    UInt32 size = kSubDeviceListBytes;
    if (AudioObjectGetPropertyData(device, &where, 0, nullptr, &size, ids) != noErr)
        return {device};
    return std::vector<AudioObjectID>(ids, ids + size / sizeof(AudioObjectID));
}

// Core Foundation objects made while building the aggregate, released on
// every way out.
struct Releaser {
    std::vector<CFTypeRef> objects;
    ~Releaser()
    {
        for (CFTypeRef object : objects)
            if (object != nullptr)
                CFRelease(object);
    }
    template <typename T> T keep(T object)
    {
        objects.push_back(object);
        return object;
    }
};

} // namespace

VTCoreAudio::VTCoreAudio()
{
    enumerate();
}

VTCoreAudio::~VTCoreAudio()
{
    if (m_running)
        stop();
    if (m_iOUnit != nullptr)
        AudioComponentInstanceDispose(m_iOUnit);
    clear();
}

bool VTCoreAudio::equalSettings(VTAudioDevice*, VTAudioDevice*)
{
    return true;
}

bool VTCoreAudio::getDeviceInfo(VTAudioDevice* device, bool)
{
    if (device != nullptr)
        device->infoValid = true;
    return true;
}

void VTCoreAudio::enumerate()
{
    // ---- the device identifiers and the two defaults
    AudioObjectPropertyAddress devicesAddress = address(kAudioHardwarePropertyDevices);
    UInt32 size = 0;
    if (AudioObjectGetPropertyDataSize(kAudioObjectSystemObject, &devicesAddress, 0, nullptr, &size) != noErr)
        return;
    auto* ids = static_cast<AudioObjectID*>(std::malloc(size == 0 ? 1 : size));
    if (ids == nullptr)
        return;
    if (AudioObjectGetPropertyData(kAudioObjectSystemObject, &devicesAddress, 0, nullptr, &size, ids) != noErr) {
        std::free(ids);
        return;
    }
    AudioObjectID defaultInput = 0;
    AudioObjectID defaultOutput = 0;
    if (!readValue(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultInputDevice, defaultInput) ||
        !readValue(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice, defaultOutput)) {
        std::free(ids);
        return;
    }

    const size_t count = size / sizeof(AudioObjectID);
    for (size_t i = 0; i < count; ++i) {
        const AudioObjectID id = ids[i];
        // ---- name and transport
        CFStringRef name = nullptr;
        if (!readValue(id, kAudioObjectPropertyName, name))
            continue;
        // A read that succeeds may still answer no name; released on every
        // way out of this device, and only when there is one.
        Releaser nameOwner;
        nameOwner.keep(name);
        UInt32 transport = 0;
        if (!readValue(id, kAudioDevicePropertyTransportType, transport))
            continue;
        // ---- channels in each direction
        uint32_t inputs = 0;
        uint32_t outputs = 0;
        ChannelCount in = countChannels(id, kAudioObjectPropertyScopeInput, inputs);
        ChannelCount out = in == ChannelCount::Ok ? countChannels(id, kAudioObjectPropertyScopeOutput, outputs) : in;
        if (in == ChannelCount::EndEnumeration || out == ChannelCount::EndEnumeration)
            break;
        if (out != ChannelCount::Ok || (inputs == 0 && outputs == 0))
            continue;
        // ---- the entries, input first
        if (inputs > 0) {
            VTAudioDevice* entry = makeEntry(id, true, inputs, name);
            entry->isDefault = id == defaultInput;
            entry->bufferSize = kInputBufferSize;
            m_devices.push_back(entry);
        }
        if (outputs > 0) {
            AudioStreamBasicDescription format{};
            UInt32 frames = 0;
            if (readValue(id, kAudioDevicePropertyStreamFormat, format, kAudioObjectPropertyScopeOutput) &&
                readValue(id, kAudioDevicePropertyBufferFrameSize, frames, kAudioObjectPropertyScopeOutput)) {
                VTAudioDevice* entry = makeEntry(id, false, outputs, name);
                // A built-in device also counts as default output while
                // one device is both system defaults.
                entry->isDefault = id == defaultOutput ||
                                   (transport == kAudioDeviceTransportTypeBuiltIn && defaultInput == defaultOutput);
                entry->sampleRate = format.mSampleRate;
                entry->bitsPerSample = static_cast<uint16_t>(format.mBitsPerChannel);
                entry->bufferSize = frames;
                m_devices.push_back(entry);
            }
        }
    }
    std::free(ids);
}

bool VTCoreAudio::start(VTAudioDevice* in, VTAudioDevice* out, void* callback, void* userData)
{
    if (out == nullptr)
        return false;
    // A stream still running is ended first, so the audio thread never sees
    // the new entries with the old device.
    if (m_running)
        stop();
    m_callback = reinterpret_cast<VTAudioCallback>(callback);
    m_callbackData = userData;
    m_inDevice = in;
    m_outDevice = out;

    // ---- the device to run on
    uint32_t device;
    if (in == nullptr)
        device = out->id;
    else if (in->id == out->id)
        device = out->id;
    else
        device = createAggregateDevice(in, out);
    m_aggregateId = device;
    if (device == 0)
        return false;

    // ---- the unit, created once; configured on every start
    if (m_iOUnit == nullptr) {
        AudioComponentDescription description{kAudioUnitType_Output, kAudioUnitSubType_HALOutput,
                                              kAudioUnitManufacturer_Apple, 0, 0};
        if (AudioComponent component = AudioComponentFindNext(nullptr, &description))
            AudioComponentInstanceNew(component, &m_iOUnit);
    }
    if (m_iOUnit != nullptr) {
        UInt32 enableOutput = 1;
        UInt32 enableInput = in != nullptr ? 1 : 0;
        AURenderCallbackStruct render{audioCallback, this};
        if (AudioUnitSetProperty(m_iOUnit, kAudioOutputUnitProperty_EnableIO, kAudioUnitScope_Output, 0, &enableOutput,
                                 sizeof enableOutput) == noErr &&
            AudioUnitSetProperty(m_iOUnit, kAudioOutputUnitProperty_EnableIO, kAudioUnitScope_Input, 1, &enableInput,
                                 sizeof enableInput) == noErr)
            AudioUnitSetProperty(m_iOUnit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &render,
                                 sizeof render);
    }

    // ---- 32-bit float, one buffer per channel, on both sides of the unit
    AudioStreamBasicDescription format{};
    format.mSampleRate = out->sampleRate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    format.mBytesPerPacket = 4;
    format.mFramesPerPacket = 1;
    format.mBytesPerFrame = 4;
    format.mChannelsPerFrame = in != nullptr && in->channels > out->channels ? in->channels : out->channels;
    format.mBitsPerChannel = 32;
    format.mReserved = 0;
    AudioUnitSetProperty(m_iOUnit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &format, sizeof format);
    AudioUnitSetProperty(m_iOUnit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 1, &format, sizeof format);

    // ---- run
    AudioObjectID current = m_aggregateId;
    if (AudioUnitSetProperty(m_iOUnit, kAudioOutputUnitProperty_CurrentDevice, kAudioUnitScope_Global, 0, &current,
                             sizeof current) != noErr)
        return false;
    if (AudioUnitInitialize(m_iOUnit) != noErr)
        return false;
    if (AudioOutputUnitStart(m_iOUnit) != noErr) {
        // Left initialised, the unit would refuse every later start.
        AudioUnitUninitialize(m_iOUnit);
        return false;
    }
    m_running = true;
    return true;
}

uint32_t VTCoreAudio::createAggregateDevice(VTAudioDevice* in, VTAudioDevice* out)
{
    // ---- a leftover aggregate of an earlier run would hold our UID
    for (VTAudioDevice* device : m_devices) {
        if (device != nullptr && device->name == kAggregateName) {
            destroyAggregateDevice(device->id);
            pauseForPlatform();
            break;
        }
    }

    // ---- the sub-devices: an aggregate input or output brings its own
    std::vector<AudioObjectID> inputs = subDevicesOf(in->id);
    std::vector<AudioObjectID> outputs = subDevicesOf(out->id);
    if (inputs.empty())
        return 0; // no device could be the clock master

    AudioObjectID plugIn = findAudioPlugIn();
    if (plugIn == 0)
        return 0;

    // ---- the description and the sub-devices' UIDs, input first
    Releaser release;
    int isPrivate = 1;
    CFNumberRef privateFlag = release.keep(CFNumberCreate(nullptr, kCFNumberIntType, &isPrivate));
    CFMutableDictionaryRef description = release.keep(
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(description, CFSTR(kAudioAggregateDeviceNameKey), CFSTR("Veltrane Aggregate I/O"));
    CFDictionarySetValue(description, CFSTR(kAudioAggregateDeviceUIDKey), CFSTR("com.veltrane.aggregate"));
    CFDictionarySetValue(description, CFSTR(kAudioAggregateDeviceIsPrivateKey), privateFlag);
    CFMutableArrayRef uids = release.keep(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    std::vector<CFStringRef> inputUIDs;
    std::vector<CFStringRef> outputUIDs;
    for (int side = 0; side < 2; ++side) {
        for (AudioObjectID sub : side == 0 ? inputs : outputs) {
            CFStringRef uid = nullptr;
            if (!readValue(sub, kAudioDevicePropertyDeviceUID, uid) || uid == nullptr)
                return 0;
            release.keep(uid);
            (side == 0 ? inputUIDs : outputUIDs).push_back(uid);
            CFArrayAppendValue(uids, uid);
        }
    }

    // ---- create it, then give it its sub-devices and its clock master
    AudioObjectPropertyAddress create = address(kAudioPlugInCreateAggregateDevice);
    UInt32 size = 0;
    if (AudioObjectGetPropertyDataSize(plugIn, &create, 0, nullptr, &size) != noErr)
        return 0;
    AudioObjectID aggregate = 0;
    size = sizeof aggregate;
    if (AudioObjectGetPropertyData(plugIn, &create, sizeof(CFDictionaryRef), &description, &size, &aggregate) != noErr)
        return 0;
    pauseForPlatform();

    AudioObjectPropertyAddress full = address(kAudioAggregateDevicePropertyFullSubDeviceList);
    CFArrayRef list = uids;
    if (AudioObjectSetPropertyData(aggregate, &full, 0, nullptr, sizeof list, &list) != noErr) {
        destroyAggregateDevice(aggregate);
        return 0;
    }
    pauseForPlatform();

    // The input device's clock drives the stream.
    AudioObjectPropertyAddress master = address(kAudioAggregateDevicePropertyMasterSubDevice);
    CFStringRef masterUID = inputUIDs.front();
    if (AudioObjectSetPropertyData(aggregate, &master, 0, nullptr, sizeof masterUID, &masterUID) != noErr) {
        destroyAggregateDevice(aggregate);
        return 0;
    }
    pauseForPlatform();
    return aggregate;
}

uint32_t VTCoreAudio::streamBufferSize(VTAudioDevice* in, VTAudioDevice* out) const
{
    if (out == nullptr)
        return 0;
    // The aggregate follows its clock master, the input device.
    VTAudioDevice* clock = in != nullptr && in->id != out->id ? in : out;
    UInt32 frames = 0;
    if (readValue(clock->id, kAudioDevicePropertyBufferFrameSize, frames,
                  clock->isInput ? kAudioObjectPropertyScopeInput : kAudioObjectPropertyScopeOutput) &&
        frames > 0)
        return frames;
    return out->bufferSize;
}

void VTCoreAudio::destroyAggregateDevice(unsigned int id)
{
    // The stream ran directly on the output device: no aggregate to remove.
    if (id == 0 || (m_outDevice != nullptr && id == m_outDevice->id))
        return;
    AudioObjectID plugIn = findAudioPlugIn();
    if (plugIn == 0)
        return;
    AudioObjectPropertyAddress destroy = address(kAudioPlugInDestroyAggregateDevice);
    UInt32 size = 0;
    if (AudioObjectGetPropertyDataSize(plugIn, &destroy, 0, nullptr, &size) != noErr)
        return;
    pauseForPlatform();
    AudioObjectID device = id;
    size = sizeof device;
    AudioObjectGetPropertyData(plugIn, &destroy, 0, nullptr, &size, &device);
}

void VTCoreAudio::stop()
{
    if (m_running) {
        AudioOutputUnitStop(m_iOUnit);
        AudioUnitUninitialize(m_iOUnit);
    }
    m_running = false;
    destroyAggregateDevice(m_aggregateId);
}

// Per-cycle code is marked hot, so that it is kept together with the rest.
[[gnu::hot]] OSStatus VTCoreAudio::audioCallback(void* inRefCon, AudioUnitRenderActionFlags* ioActionFlags,
                                                 const AudioTimeStamp* inTimeStamp, UInt32, UInt32 inNumberFrames,
                                                 AudioBufferList* ioData)
{
    if (inRefCon == nullptr)
        return noErr;
    return static_cast<VTCoreAudio*>(inRefCon)->processAudio(ioActionFlags, inTimeStamp, inNumberFrames, ioData);
}

[[gnu::hot]] OSStatus VTCoreAudio::processAudio(AudioUnitRenderActionFlags* ioActionFlags,
                                                const AudioTimeStamp* inTimeStamp, UInt32 inNumberFrames,
                                                AudioBufferList* ioData)
{
    // Shared by every callback: only one stream exists at a time.
    static float* bufferIn[2];
    static float* bufferOut[2];

    VTAudioDevice* in = m_inDevice;
    VTAudioDevice* out = m_outDevice;
    if (out == nullptr || ioData == nullptr || ioData->mNumberBuffers == 0)
        return noErr;

    // ---- pull the input into the same buffers that go to the output
    if (in != nullptr) {
        OSStatus status = AudioUnitRender(m_iOUnit, ioActionFlags, inTimeStamp, 1, inNumberFrames, ioData);
        if (status != noErr)
            return status;
    }

    // ---- pick the channels; a choice beyond the device falls back to 0 and 1
    const UInt32 n = ioData->mNumberBuffers;
    AudioBuffer* buffers = ioData->mBuffers;
    uint32_t left = out->left.load(std::memory_order_relaxed);
    uint32_t right = out->right.load(std::memory_order_relaxed);
    left = left < n ? left : 0;
    right = right < n ? right : 1;
    float* inChannels[2] = {nullptr, nullptr};
    if (in != nullptr) {
        uint32_t inLeft = in->left.load(std::memory_order_relaxed);
        uint32_t inRight = in->right.load(std::memory_order_relaxed);
        inLeft = inLeft < n ? inLeft : 0;
        inRight = inRight < n ? inRight : 1;
        // A mono input is heard on both sides.
        const bool mono = n < 2 || in->channels < 2;
        inChannels[0] = static_cast<float*>(buffers[inLeft].mData);
        inChannels[1] = static_cast<float*>(buffers[mono ? inLeft : inRight].mData);
    }
    float* outChannels[2] = {static_cast<float*>(buffers[left].mData),
                             static_cast<float*>(buffers[n < 2 ? left : right].mData)};

    // ---- the engine's cycle, in slices no longer than the block size the
    // plug-in was told
    const UInt32 slice = m_maximumFrames != 0 && m_maximumFrames < inNumberFrames ? m_maximumFrames : inNumberFrames;
    for (UInt32 done = 0; done < inNumberFrames && m_callback != nullptr; done += slice) {
        const UInt32 frames = inNumberFrames - done < slice ? inNumberFrames - done : slice;
        for (int side = 0; side < 2; ++side) {
            bufferIn[side] = inChannels[side] != nullptr ? inChannels[side] + done : nullptr;
            bufferOut[side] = outChannels[side] + done;
        }
        m_callback(bufferIn, bufferOut, frames, m_callbackData);
    }

    // ---- silence every other channel, so rendered input is not played
    for (UInt32 i = 0; i < n; ++i)
        if (i != left && i != right && buffers[i].mData != nullptr)
            std::memset(buffers[i].mData, 0, buffers[i].mDataByteSize);
    return noErr;
}
