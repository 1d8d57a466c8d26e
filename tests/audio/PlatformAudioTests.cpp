// The Core Audio and Audio Toolbox stand-ins as the audio layer relies on
// them: property sizes, object ownership, aggregate rules, the unit's rules.
#include "AudioTestSupport.h"

#include <AudioToolbox/AudioToolbox.h>

#include <gtest/gtest.h>

#include <cstddef>

using namespace vt::testing;

namespace {

AudioObjectPropertyAddress at(AudioObjectPropertySelector selector,
                              AudioObjectPropertyScope scope = kAudioObjectPropertyScopeGlobal)
{
    return {selector, scope, kAudioObjectPropertyElementMain};
}

AudioUnit newUnit()
{
    AudioComponentDescription description{kAudioUnitType_Output, kAudioUnitSubType_HALOutput,
                                          kAudioUnitManufacturer_Apple, 0, 0};
    AudioUnit unit = nullptr;
    EXPECT_EQ(AudioComponentInstanceNew(AudioComponentFindNext(nullptr, &description), &unit), noErr);
    return unit;
}

} // namespace

TEST(CoreAudioStandIn, StreamConfigurationListsEveryBufferOfTheScope)
{
    VirtualAudioWorld world;
    AudioObjectID id = world.addDevice(deviceSpec("Wide", {2, 6}, {}));
    AudioObjectPropertyAddress input = at(kAudioDevicePropertyStreamConfiguration, kAudioObjectPropertyScopeInput);
    UInt32 size = 0;
    ASSERT_EQ(AudioObjectGetPropertyDataSize(id, &input, 0, nullptr, &size), noErr);
    // The count, then two 16-byte buffer records.
    EXPECT_EQ(size, offsetof(AudioBufferList, mBuffers) + 2 * sizeof(AudioBuffer));
    std::vector<unsigned char> bytes(size);
    ASSERT_EQ(AudioObjectGetPropertyData(id, &input, 0, nullptr, &size, bytes.data()), noErr);
    auto* list = reinterpret_cast<AudioBufferList*>(bytes.data());
    ASSERT_EQ(list->mNumberBuffers, 2u);
    EXPECT_EQ(list->mBuffers[0].mNumberChannels, 2u);
    EXPECT_EQ(list->mBuffers[1].mNumberChannels, 6u);

    AudioObjectPropertyAddress output = at(kAudioDevicePropertyStreamConfiguration, kAudioObjectPropertyScopeOutput);
    ASSERT_EQ(AudioObjectGetPropertyDataSize(id, &output, 0, nullptr, &size), noErr);
    EXPECT_EQ(size, offsetof(AudioBufferList, mBuffers));
}

TEST(CoreAudioStandIn, ValuesNeedTheirWholeSizeAndNamesAreHandedOutOwned)
{
    VirtualAudioWorld world;
    AudioObjectID id = world.addDevice(deviceSpec("Owned", {}, {2}));
    AudioObjectPropertyAddress format = at(kAudioDevicePropertyStreamFormat, kAudioObjectPropertyScopeOutput);
    AudioStreamBasicDescription description{};
    UInt32 size = sizeof description - 1;
    EXPECT_EQ(AudioObjectGetPropertyData(id, &format, 0, nullptr, &size, &description),
              kAudioHardwareBadPropertySizeError);

    AudioObjectPropertyAddress name = at(kAudioObjectPropertyName);
    CFStringRef text = nullptr;
    size = 4;
    EXPECT_EQ(AudioObjectGetPropertyData(id, &name, 0, nullptr, &size, &text), kAudioHardwareBadPropertySizeError);
    EXPECT_EQ(text, nullptr);
    size = sizeof text;
    ASSERT_EQ(AudioObjectGetPropertyData(id, &name, 0, nullptr, &size, &text), noErr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(CFGetRetainCount(text), 1);
    CFRelease(text);

    EXPECT_EQ(AudioObjectGetPropertyData(id + 1000, &name, 0, nullptr, &size, &text), kAudioHardwareBadObjectError);
}

TEST(CoreAudioStandIn, OnlyTheCoreAudioBundleIdTranslatesToThePlugIn)
{
    VirtualAudioWorld world;
    AudioObjectPropertyAddress address = at(kAudioHardwarePropertyPlugInForBundleID);
    for (auto [bundle, expectFound] : {std::pair{"com.apple.audio.CoreAudio", true}, std::pair{"com.other", false}}) {
        CFStringRef bundleID = CFStringCreateWithCString(nullptr, bundle, kCFStringEncodingUTF8);
        AudioObjectID plugIn = 12345;
        AudioValueTranslation translation{&bundleID, sizeof bundleID, &plugIn, sizeof plugIn};
        UInt32 size = sizeof translation;
        EXPECT_EQ(AudioObjectGetPropertyData(kAudioObjectSystemObject, &address, 0, nullptr, &size, &translation),
                  noErr);
        EXPECT_EQ(plugIn != 0, expectFound) << bundle;
        CFRelease(bundleID);
    }
}

TEST(CoreAudioStandIn, AggregatesNeedAFreeUidAndOnlyAggregatesCanBeDestroyed)
{
    VirtualAudioWorld world;
    AudioObjectID plain = world.addDevice(deviceSpec("Plain", {}, {2}));
    AudioObjectID plugIn = 2;
    AudioObjectPropertyAddress create = at(kAudioPlugInCreateAggregateDevice);
    AudioObjectPropertyAddress destroy = at(kAudioPlugInDestroyAggregateDevice);

    CFMutableDictionaryRef description =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(description, CFSTR("name"), CFSTR("Twin"));
    CFDictionarySetValue(description, CFSTR("uid"), CFSTR("uid:Plain"));
    AudioObjectID made = 0;
    UInt32 size = sizeof made;
    // "uid:Plain" already names the plain device.
    EXPECT_NE(AudioObjectGetPropertyData(plugIn, &create, sizeof description, &description, &size, &made), noErr);

    CFDictionarySetValue(description, CFSTR("uid"), CFSTR("uid:Twin"));
    ASSERT_EQ(AudioObjectGetPropertyData(plugIn, &create, sizeof description, &description, &size, &made), noErr);
    CFRelease(description);
    EXPECT_EQ(world.aggregates().size(), 1u);

    AudioObjectID target = plain;
    size = sizeof target;
    EXPECT_EQ(AudioObjectGetPropertyData(plugIn, &destroy, 0, nullptr, &size, &target), kAudioHardwareBadObjectError);
    target = made;
    EXPECT_EQ(AudioObjectGetPropertyData(plugIn, &destroy, 0, nullptr, &size, &target), noErr);
    EXPECT_TRUE(world.aggregates().empty());
    AudioObjectPropertyAddress transport = at(kAudioDevicePropertyTransportType);
    UInt32 value = 0;
    size = sizeof value;
    EXPECT_EQ(AudioObjectGetPropertyData(plain, &transport, 0, nullptr, &size, &value), noErr);
}

TEST(AudioToolboxStandIn, TheUnitRefusesWhatItCannotRun)
{
    VirtualAudioWorld world;
    AudioObjectID inputOnly = world.addDevice(deviceSpec("Input Only", {2}, {}));
    AudioObjectID outputOnly = world.addDevice(deviceSpec("Output Only", {}, {2}));
    AudioUnit unit = newUnit();
    ASSERT_NE(unit, nullptr);

    AudioObjectID missing = outputOnly + 1000;
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioOutputUnitProperty_CurrentDevice, kAudioUnitScope_Global, 0, &missing,
                                   sizeof missing),
              kAudioOutputUnitErr_InvalidDevice);
    // A device without outputs has nothing to play on.
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioOutputUnitProperty_CurrentDevice, kAudioUnitScope_Global, 0, &inputOnly,
                                   sizeof inputOnly),
              noErr);
    EXPECT_NE(AudioUnitInitialize(unit), noErr);
    // Enabled input needs a device with inputs.
    UInt32 on = 1;
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioOutputUnitProperty_EnableIO, kAudioUnitScope_Input, 1, &on, sizeof on),
              noErr);
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioOutputUnitProperty_CurrentDevice, kAudioUnitScope_Global, 0, &outputOnly,
                                   sizeof outputOnly),
              noErr);
    EXPECT_NE(AudioUnitInitialize(unit), noErr);
    // An interleaved format is not one the unit renders.
    AudioStreamBasicDescription interleaved{
        48000, kAudioFormatLinearPCM, kAudioFormatFlagsNativeFloatPacked, 8, 1, 8, 2, 32, 0};
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &interleaved,
                                   sizeof interleaved),
              kAudioUnitErr_FormatNotSupported);
    // Input can only be pulled inside the render callback.
    AudioBufferList list{1, {{1, 0, nullptr}}};
    EXPECT_EQ(AudioUnitRender(unit, nullptr, nullptr, 1, 16, &list), kAudioUnitErr_CannotDoInCurrentContext);
    EXPECT_EQ(AudioComponentInstanceDispose(unit), noErr);
}
