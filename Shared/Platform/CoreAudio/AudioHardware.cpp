// The audio object properties of the Core Audio stand-in, answered from the
// providers' devices.
#include "AudioProvider.h"

#include "../CoreFoundation/CFStringImpl.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>

namespace vt::platform::audio {

namespace {

struct RankedProvider {
    Provider* provider;
    int rank;
};

// Made on first use, so registrations from any translation unit's static
// initialisation find it.
std::vector<RankedProvider>& registry()
{
    static std::vector<RankedProvider> ranked;
    return ranked;
}

std::vector<Provider*>& orderedProviders()
{
    static std::vector<Provider*> list;
    return list;
}

} // namespace

void registerProvider(Provider* provider, int rank)
{
    if (provider == nullptr)
        return;
    auto& ranked = registry();
    auto at = std::find_if(ranked.begin(), ranked.end(), [rank](const RankedProvider& r) { return r.rank > rank; });
    ranked.insert(at, RankedProvider{provider, rank});
    auto& list = orderedProviders();
    list.clear();
    for (const RankedProvider& r : ranked)
        list.push_back(r.provider);
}

const std::vector<Provider*>& providers()
{
    return orderedProviders();
}

AudioObjectID newObjectID()
{
    // Identifiers below 64 stay free for the system and plug-in objects.
    static std::atomic<AudioObjectID> next{64};
    return next.fetch_add(1);
}

namespace {

// The providers whose devices are listed now: every regular provider that
// offers a device, or else the fallback ones.
std::vector<Provider*> listedProviders()
{
    std::vector<Provider*> regular;
    std::vector<Provider*> fallback;
    for (Provider* provider : providers()) {
        if (provider->fallbackOnly())
            fallback.push_back(provider);
        else if (!provider->devices().empty())
            regular.push_back(provider);
    }
    return regular.empty() ? fallback : regular;
}

std::vector<std::shared_ptr<Device>> listedDevices()
{
    std::vector<std::shared_ptr<Device>> all;
    for (Provider* provider : listedProviders())
        for (auto& device : provider->devices())
            all.push_back(device);
    return all;
}

OSStatus injectedFailure(AudioObjectID id, const AudioObjectPropertyAddress& address, bool write)
{
    for (Provider* provider : providers())
        if (OSStatus status = provider->propertyFailure(id, address, write))
            return status;
    return noErr;
}

std::string utf8Of(CFStringRef string)
{
    auto text = vt::cf::utf8(string);
    return text ? *text : std::string();
}

// ---------------------------------------------------------------- replies

// A property value as bytes, or the status that answers instead.
struct Reply {
    OSStatus status = noErr;
    std::vector<unsigned char> bytes;

    template <typename T> static Reply of(const T& value)
    {
        Reply reply;
        reply.bytes.resize(sizeof(T));
        std::memcpy(reply.bytes.data(), &value, sizeof(T));
        return reply;
    }
    static Reply fail(OSStatus status)
    {
        Reply reply;
        reply.status = status;
        return reply;
    }
};

Reply idList(const std::vector<AudioObjectID>& ids)
{
    Reply reply;
    reply.bytes.resize(ids.size() * sizeof(AudioObjectID));
    if (!ids.empty())
        std::memcpy(reply.bytes.data(), ids.data(), reply.bytes.size());
    return reply;
}

Reply streamConfiguration(const std::vector<UInt32>& buffers)
{
    Reply reply;
    reply.bytes.assign(offsetof(AudioBufferList, mBuffers) + buffers.size() * sizeof(AudioBuffer), 0);
    auto* list = reinterpret_cast<AudioBufferList*>(reply.bytes.data());
    list->mNumberBuffers = static_cast<UInt32>(buffers.size());
    for (size_t i = 0; i < buffers.size(); ++i)
        list->mBuffers[i] = AudioBuffer{buffers[i], 0, nullptr};
    return reply;
}

bool isDirectional(AudioObjectPropertyScope scope)
{
    return scope == kAudioObjectPropertyScopeInput || scope == kAudioObjectPropertyScopeOutput;
}

// Values of the system object. CFString values are made only when the
// caller reads the data, since the reader owns them.
Reply systemProperty(const AudioObjectPropertyAddress& address, UInt32 qualifierSize, const void* qualifier,
                     bool forData, const void* inData, UInt32 inSize)
{
    (void)qualifierSize;
    (void)qualifier;
    switch (address.mSelector) {
    case kAudioHardwarePropertyDevices: {
        // The system lists its devices: providers of an outside server look
        // at it afresh.
        for (Provider* provider : providers())
            provider->refresh();
        std::vector<AudioObjectID> ids;
        for (auto& device : listedDevices())
            ids.push_back(device->id());
        return idList(ids);
    }
    case kAudioHardwarePropertyDefaultInputDevice:
    case kAudioHardwarePropertyDefaultOutputDevice: {
        AudioObjectID found = kAudioObjectUnknown;
        for (Provider* provider : listedProviders()) {
            found = address.mSelector == kAudioHardwarePropertyDefaultInputDevice ? provider->defaultInputDevice()
                                                                                  : provider->defaultOutputDevice();
            if (found != kAudioObjectUnknown)
                break;
        }
        return Reply::of(found);
    }
    case kAudioHardwarePropertyPlugInForBundleID: {
        if (!forData)
            return Reply::of(AudioValueTranslation{});
        if (inSize != sizeof(AudioValueTranslation) || inData == nullptr)
            return Reply::fail(kAudioHardwareBadPropertySizeError);
        AudioValueTranslation translation;
        std::memcpy(&translation, inData, sizeof translation);
        if (translation.mInputData == nullptr || translation.mInputDataSize != sizeof(CFStringRef) ||
            translation.mOutputData == nullptr || translation.mOutputDataSize != sizeof(AudioObjectID))
            return Reply::fail(kAudioHardwareBadPropertySizeError);
        CFStringRef bundleID = *static_cast<CFStringRef*>(translation.mInputData);
        AudioObjectID plugIn = utf8Of(bundleID) == kCoreAudioPlugInBundleID ? kCoreAudioPlugInObject : 0;
        std::memcpy(translation.mOutputData, &plugIn, sizeof plugIn);
        return Reply::of(translation);
    }
    default:
        return Reply::fail(kAudioHardwareUnknownPropertyError);
    }
}

std::string dictionaryText(CFDictionaryRef description, const char* key)
{
    CFStringRef keyString = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    const void* value = CFDictionaryGetValue(description, keyString);
    CFRelease(keyString);
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID())
        return {};
    return utf8Of(static_cast<CFStringRef>(value));
}

bool dictionaryFlag(CFDictionaryRef description, const char* key)
{
    CFStringRef keyString = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    const void* value = CFDictionaryGetValue(description, keyString);
    CFRelease(keyString);
    SInt64 number = 0;
    if (value == nullptr || CFGetTypeID(value) != CFNumberGetTypeID())
        return false;
    CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &number);
    return number != 0;
}

Reply createAggregate(UInt32 qualifierSize, const void* qualifier)
{
    if (qualifierSize != sizeof(CFDictionaryRef) || qualifier == nullptr)
        return Reply::fail(kAudioHardwareBadPropertySizeError);
    CFDictionaryRef description = *static_cast<const CFDictionaryRef*>(qualifier);
    if (description == nullptr || CFGetTypeID(description) != CFDictionaryGetTypeID())
        return Reply::fail(kAudioHardwareIllegalOperationError);
    std::string name = dictionaryText(description, kAudioAggregateDeviceNameKey);
    std::string uid = dictionaryText(description, kAudioAggregateDeviceUIDKey);
    // A UID names one device: a second aggregate under it is refused.
    if (uid.empty() || findDeviceByUID(uid) != nullptr)
        return Reply::fail(kAudioHardwareIllegalOperationError);
    bool isPrivate = dictionaryFlag(description, kAudioAggregateDeviceIsPrivateKey);
    for (Provider* provider : providers())
        if (auto device = provider->createAggregate(name, uid, isPrivate))
            return Reply::of(device->id());
    return Reply::fail(kAudioHardwareUnsupportedOperationError);
}

Reply plugInProperty(const AudioObjectPropertyAddress& address, UInt32 qualifierSize, const void* qualifier,
                     bool forData, const void* inData, UInt32 inSize)
{
    switch (address.mSelector) {
    case kAudioPlugInCreateAggregateDevice:
        if (!forData)
            return Reply::of(AudioObjectID{0});
        return createAggregate(qualifierSize, qualifier);
    case kAudioPlugInDestroyAggregateDevice: {
        if (!forData)
            return Reply::of(AudioObjectID{0});
        if (inSize != sizeof(AudioObjectID) || inData == nullptr)
            return Reply::fail(kAudioHardwareBadPropertySizeError);
        AudioObjectID id;
        std::memcpy(&id, inData, sizeof id);
        auto device = findDevice(id);
        if (device == nullptr || !device->isAggregate())
            return Reply::fail(kAudioHardwareBadObjectError);
        for (Provider* provider : providers())
            if (provider->destroyAggregate(id))
                return Reply::of(id);
        return Reply::fail(kAudioHardwareIllegalOperationError);
    }
    default:
        return Reply::fail(kAudioHardwareUnknownPropertyError);
    }
}

Reply deviceProperty(Device& device, const AudioObjectPropertyAddress& address, bool forData)
{
    const bool input = address.mScope == kAudioObjectPropertyScopeInput;
    switch (address.mSelector) {
    case kAudioObjectPropertyName:
        return Reply::of(forData ? device.copyName() : CFStringRef{});
    case kAudioDevicePropertyDeviceUID:
        return Reply::of(forData ? vt::cf::createString(device.uid()) : CFStringRef{});
    case kAudioDevicePropertyTransportType:
        return Reply::of(device.transportType());
    case kAudioDevicePropertyStreamConfiguration:
        if (!isDirectional(address.mScope))
            return Reply::fail(kAudioHardwareUnknownPropertyError);
        return streamConfiguration(device.streamBuffers(input));
    case kAudioDevicePropertyStreamFormat: {
        if (!isDirectional(address.mScope))
            return Reply::fail(kAudioHardwareUnknownPropertyError);
        std::vector<UInt32> buffers = device.streamBuffers(input);
        if (buffers.empty())
            return Reply::fail(kAudioHardwareUnknownPropertyError);
        // The format of the scope's first stream, as the device runs it.
        AudioStreamBasicDescription format{};
        format.mSampleRate = device.sampleRate();
        format.mFormatID = kAudioFormatLinearPCM;
        format.mFormatFlags = kAudioFormatFlagsNativeFloatPacked;
        format.mBitsPerChannel = device.bitsPerChannel();
        format.mChannelsPerFrame = buffers.front();
        format.mFramesPerPacket = 1;
        format.mBytesPerFrame = format.mChannelsPerFrame * (format.mBitsPerChannel / 8);
        format.mBytesPerPacket = format.mBytesPerFrame;
        return Reply::of(format);
    }
    case kAudioDevicePropertyBufferFrameSize:
        return Reply::of(device.bufferFrameSize());
    case kAudioDevicePropertyNominalSampleRate:
        return Reply::of(device.sampleRate());
    case kAudioAggregateDevicePropertyActiveSubDeviceList:
        if (!device.isAggregate())
            return Reply::fail(kAudioHardwareUnknownPropertyError);
        return idList(device.activeSubDevices());
    case kAudioAggregateDevicePropertyFullSubDeviceList: {
        if (!device.isAggregate())
            return Reply::fail(kAudioHardwareUnknownPropertyError);
        if (!forData)
            return Reply::of(CFArrayRef{});
        CFMutableArrayRef uids = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
        for (const std::string& uid : device.fullSubDeviceList()) {
            CFStringRef text = vt::cf::createString(uid);
            CFArrayAppendValue(uids, text);
            CFRelease(text);
        }
        return Reply::of(static_cast<CFArrayRef>(uids));
    }
    case kAudioAggregateDevicePropertyMasterSubDevice:
        if (!device.isAggregate())
            return Reply::fail(kAudioHardwareUnknownPropertyError);
        return Reply::of(forData ? vt::cf::createString(device.masterSubDevice()) : CFStringRef{});
    default:
        return Reply::fail(kAudioHardwareUnknownPropertyError);
    }
}

Reply read(AudioObjectID id, const AudioObjectPropertyAddress* address, UInt32 qualifierSize, const void* qualifier,
           bool forData, const void* inData, UInt32 inSize)
{
    if (address == nullptr)
        return Reply::fail(kAudio_ParamError);
    if (OSStatus failure = injectedFailure(id, *address, false))
        return Reply::fail(failure);
    if (id == kAudioObjectSystemObject)
        return systemProperty(*address, qualifierSize, qualifier, forData, inData, inSize);
    if (id == kCoreAudioPlugInObject)
        return plugInProperty(*address, qualifierSize, qualifier, forData, inData, inSize);
    auto device = findDevice(id);
    if (device == nullptr)
        return Reply::fail(kAudioHardwareBadObjectError);
    return deviceProperty(*device, *address, forData);
}

OSStatus setDeviceProperty(Device& device, const AudioObjectPropertyAddress& address, UInt32 size, const void* data)
{
    switch (address.mSelector) {
    case kAudioAggregateDevicePropertyFullSubDeviceList: {
        if (size != sizeof(CFArrayRef) || data == nullptr)
            return kAudioHardwareBadPropertySizeError;
        CFArrayRef uids = *static_cast<const CFArrayRef*>(data);
        if (uids == nullptr || CFGetTypeID(uids) != CFArrayGetTypeID())
            return kAudioHardwareIllegalOperationError;
        std::vector<std::shared_ptr<Device>> subDevices;
        for (CFIndex i = 0; i < CFArrayGetCount(uids); ++i) {
            auto uid = static_cast<CFStringRef>(CFArrayGetValueAtIndex(uids, i));
            auto sub = findDeviceByUID(utf8Of(uid));
            if (sub == nullptr || sub.get() == &device)
                return kAudioHardwareBadDeviceError;
            subDevices.push_back(sub);
        }
        return device.setFullSubDeviceList(subDevices);
    }
    case kAudioAggregateDevicePropertyMasterSubDevice: {
        if (size != sizeof(CFStringRef) || data == nullptr)
            return kAudioHardwareBadPropertySizeError;
        CFStringRef uid = *static_cast<const CFStringRef*>(data);
        if (uid == nullptr || CFGetTypeID(uid) != CFStringGetTypeID())
            return kAudioHardwareIllegalOperationError;
        return device.setMasterSubDevice(utf8Of(uid));
    }
    default:
        return kAudioHardwareUnknownPropertyError;
    }
}

bool handsOutObject(AudioObjectPropertySelector selector)
{
    return selector == kAudioObjectPropertyName || selector == kAudioDevicePropertyDeviceUID ||
           selector == kAudioAggregateDevicePropertyFullSubDeviceList ||
           selector == kAudioAggregateDevicePropertyMasterSubDevice;
}

} // namespace

std::shared_ptr<Device> findDevice(AudioObjectID id)
{
    for (auto& device : listedDevices())
        if (device->id() == id)
            return device;
    return nullptr;
}

std::shared_ptr<Device> findDeviceByUID(const std::string& uid)
{
    for (auto& device : listedDevices())
        if (device->uid() == uid)
            return device;
    return nullptr;
}

} // namespace vt::platform::audio

using namespace vt::platform::audio;

extern "C" {

Boolean AudioObjectHasProperty(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress)
{
    Reply reply = read(inObjectID, inAddress, 0, nullptr, false, nullptr, 0);
    return reply.status == noErr;
}

OSStatus AudioObjectGetPropertyDataSize(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                        UInt32 inQualifierDataSize, const void* inQualifierData, UInt32* outDataSize)
{
    if (outDataSize == nullptr)
        return kAudio_ParamError;
    Reply reply = read(inObjectID, inAddress, inQualifierDataSize, inQualifierData, false, nullptr, 0);
    if (reply.status != noErr)
        return reply.status;
    *outDataSize = static_cast<UInt32>(reply.bytes.size());
    return noErr;
}

OSStatus AudioObjectGetPropertyData(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                    UInt32 inQualifierDataSize, const void* inQualifierData, UInt32* ioDataSize,
                                    void* outData)
{
    if (ioDataSize == nullptr || outData == nullptr || inAddress == nullptr)
        return kAudio_ParamError;
    // Values that are objects are made only when they fit, so none leaks.
    if (handsOutObject(inAddress->mSelector) && *ioDataSize < sizeof(CFTypeRef))
        return kAudioHardwareBadPropertySizeError;
    Reply reply = read(inObjectID, inAddress, inQualifierDataSize, inQualifierData, true, outData, *ioDataSize);
    if (reply.status != noErr)
        return reply.status;
    // Lists hand out as many whole items as fit; fixed-size values need
    // their whole size.
    const bool isList = inAddress->mSelector == kAudioHardwarePropertyDevices ||
                        inAddress->mSelector == kAudioAggregateDevicePropertyActiveSubDeviceList;
    size_t size = reply.bytes.size();
    if (size > *ioDataSize) {
        if (!isList)
            return kAudioHardwareBadPropertySizeError;
        size = *ioDataSize / sizeof(AudioObjectID) * sizeof(AudioObjectID);
    }
    if (size > 0)
        std::memcpy(outData, reply.bytes.data(), size);
    *ioDataSize = static_cast<UInt32>(size);
    return noErr;
}

OSStatus AudioObjectSetPropertyData(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                    UInt32 inQualifierDataSize, const void* inQualifierData, UInt32 inDataSize,
                                    const void* inData)
{
    (void)inQualifierDataSize;
    (void)inQualifierData;
    if (inAddress == nullptr)
        return kAudio_ParamError;
    if (OSStatus failure = injectedFailure(inObjectID, *inAddress, true))
        return failure;
    auto device = findDevice(inObjectID);
    if (device == nullptr)
        return inObjectID == kAudioObjectSystemObject || inObjectID == kCoreAudioPlugInObject
                   ? kAudioHardwareUnknownPropertyError
                   : kAudioHardwareBadObjectError;
    return setDeviceProperty(*device, *inAddress, inDataSize, inData);
}

} // extern "C"
