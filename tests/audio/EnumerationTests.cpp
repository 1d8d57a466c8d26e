// Enumeration of the audio devices into input and output entries.
#include "AudioTestSupport.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace vt::testing;

namespace {

struct Expected {
    bool isInput;
    uint16_t channels;
};

std::vector<Expected> shapeOf(const VTCoreAudio& audio)
{
    std::vector<Expected> shape;
    for (const VTAudioDevice* device : audio.m_devices)
        shape.push_back({device->isInput, device->channels});
    return shape;
}

void expectShape(const VTCoreAudio& audio, const std::vector<Expected>& expected)
{
    auto shape = shapeOf(audio);
    ASSERT_EQ(shape.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(shape[i].isInput, expected[i].isInput) << "entry " << i;
        EXPECT_EQ(shape[i].channels, expected[i].channels) << "entry " << i;
    }
}

} // namespace

TEST(AudioEnumeration, ADuplexDeviceIsListedAsAnInputEntryThenAnOutputEntryWithTheSameId)
{
    VirtualAudioWorld world;
    VirtualAudioDeviceSpec spec = deviceSpec("Studio 2x2", {2}, {2});
    spec.sampleRate = 44100;
    spec.bufferFrameSize = 256;
    spec.bitsPerChannel = 24;
    AudioObjectID id = world.addDevice(spec);
    world.setDefaultDevices(id, id);

    VTCoreAudio audio;
    ASSERT_EQ(audio.m_devices.size(), 2u);
    const VTAudioDevice& in = *audio.m_devices[0];
    const VTAudioDevice& out = *audio.m_devices[1];

    EXPECT_EQ(in.id, id);
    EXPECT_TRUE(in.isInput);
    EXPECT_EQ(in.type, 16u);
    EXPECT_EQ(in.name, "Studio 2x2");
    EXPECT_TRUE(in.auxName.empty());
    EXPECT_EQ(in.channels, 2);
    // Input entries always report 1024 frames and no format.
    EXPECT_EQ(in.bufferSize, 1024u);
    EXPECT_EQ(in.sampleRate, 0.0);
    EXPECT_EQ(in.channelNames, (std::vector<std::string>{"In 1", "In 2"}));
    EXPECT_TRUE(in.isDefault);
    EXPECT_FALSE(in.infoValid);
    EXPECT_EQ(in.left.load(), 0u);
    EXPECT_EQ(in.right.load(), 1u);

    EXPECT_EQ(out.id, id);
    EXPECT_FALSE(out.isInput);
    EXPECT_EQ(out.type, 16u);
    EXPECT_EQ(out.name, "Studio 2x2");
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(out.bufferSize, 256u);
    EXPECT_EQ(out.sampleRate, 44100.0);
    EXPECT_EQ(out.bitsPerSample, 24);
    EXPECT_EQ(out.channelNames, (std::vector<std::string>{"Out 1", "Out 2"}));
    EXPECT_TRUE(out.isDefault);
    EXPECT_EQ(out.left.load(), 0u);
    EXPECT_EQ(out.right.load(), 1u);
}

struct LayoutCase {
    const char* name;
    std::vector<UInt32> inputBuffers;
    std::vector<UInt32> outputBuffers;
    std::vector<Expected> entries;
};

void PrintTo(const LayoutCase& value, std::ostream* os)
{
    *os << value.name;
}

class AudioEnumerationLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(AudioEnumerationLayout, EntriesFollowTheChannelsOfEveryStreamBuffer)
{
    VirtualAudioWorld world;
    world.addDevice(deviceSpec("Device", GetParam().inputBuffers, GetParam().outputBuffers));
    VTCoreAudio audio;
    expectShape(audio, GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, AudioEnumerationLayout,
    ::testing::Values(LayoutCase{"InputOnly", {2}, {}, {{true, 2}}}, LayoutCase{"OutputOnly", {}, {2}, {{false, 2}}},
                      LayoutCase{"NoChannels", {}, {}, {}},
                      // An empty buffer adds nothing: still no channels.
                      LayoutCase{"EmptyBuffersOnly", {0}, {0}, {}},
                      // 2 + 6 = 8 output channels.
                      LayoutCase{"SeveralOutputBuffers", {}, {2, 6}, {{false, 8}}},
                      // 1 + 1 + 1 = 3 inputs; 4 + 0 = 4 outputs.
                      LayoutCase{"SeveralBuffersBothWays", {1, 1, 1}, {4, 0}, {{true, 3}, {false, 4}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AudioEnumeration, ChannelTitlesCountAcrossEveryBuffer)
{
    VirtualAudioWorld world;
    world.addDevice(deviceSpec("Wide", {}, {2, 6}));
    VTCoreAudio audio;
    ASSERT_EQ(audio.m_devices.size(), 1u);
    // Buffers of 2 and 6 channels give titles "Out 1" to "Out 8".
    EXPECT_EQ(audio.m_devices[0]->channelNames,
              (std::vector<std::string>{"Out 1", "Out 2", "Out 3", "Out 4", "Out 5", "Out 6", "Out 7", "Out 8"}));
}

TEST(AudioEnumeration, EntriesKeepTheSystemDeviceOrder)
{
    VirtualAudioWorld world;
    AudioObjectID first = world.addDevice(deviceSpec("First", {}, {2}));
    AudioObjectID second = world.addDevice(deviceSpec("Second", {4}, {6}));
    AudioObjectID third = world.addDevice(deviceSpec("Third", {1}, {}));
    VTCoreAudio audio;
    ASSERT_EQ(audio.m_devices.size(), 4u);
    EXPECT_EQ(audio.m_devices[0]->id, first);
    EXPECT_EQ(audio.m_devices[1]->id, second);
    EXPECT_TRUE(audio.m_devices[1]->isInput);
    EXPECT_EQ(audio.m_devices[2]->id, second);
    EXPECT_FALSE(audio.m_devices[2]->isInput);
    EXPECT_EQ(audio.m_devices[3]->id, third);
}

// A property of one device that cannot be read, and what is left of that
// device; a healthy device listed after it must stay listed.
struct DeviceFailureCase {
    const char* name;
    AudioObjectPropertySelector selector;
    AudioObjectPropertyScope scope;
    std::vector<Expected> entriesLeft;
};

void PrintTo(const DeviceFailureCase& value, std::ostream* os)
{
    *os << value.name;
}

class AudioEnumerationDeviceFailure : public ::testing::TestWithParam<DeviceFailureCase> {};

TEST_P(AudioEnumerationDeviceFailure, AFailingPropertySkipsOnlyWhatDependsOnIt)
{
    VirtualAudioWorld world;
    AudioObjectID broken = world.addDevice(deviceSpec("Broken", {2}, {2}));
    AudioObjectID healthy = world.addDevice(deviceSpec("Healthy", {}, {4}));
    world.failRead(broken, GetParam().selector, GetParam().scope);
    VTCoreAudio audio;

    std::vector<Expected> expected = GetParam().entriesLeft;
    expected.push_back({false, 4});
    expectShape(audio, expected);
    for (size_t i = 0; i + 1 < audio.m_devices.size(); ++i)
        EXPECT_EQ(audio.m_devices[i]->id, broken);
    EXPECT_EQ(audio.m_devices.back()->id, healthy);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, AudioEnumerationDeviceFailure,
    ::testing::Values(
        DeviceFailureCase{"Name", kAudioObjectPropertyName, 0, {}},
        DeviceFailureCase{"TransportType", kAudioDevicePropertyTransportType, 0, {}},
        DeviceFailureCase{
            "InputConfiguration", kAudioDevicePropertyStreamConfiguration, kAudioObjectPropertyScopeInput, {}},
        DeviceFailureCase{
            "OutputConfiguration", kAudioDevicePropertyStreamConfiguration, kAudioObjectPropertyScopeOutput, {}},
        // Without a readable output format the input entry stays alone.
        DeviceFailureCase{
            "OutputStreamFormat", kAudioDevicePropertyStreamFormat, kAudioObjectPropertyScopeOutput, {{true, 2}}},
        DeviceFailureCase{"OutputBufferFrameSize",
                          kAudioDevicePropertyBufferFrameSize,
                          kAudioObjectPropertyScopeOutput,
                          {{true, 2}}}),
    [](const auto& info) { return std::string(info.param.name); });

class AudioEnumerationSystemFailure : public ::testing::TestWithParam<AudioObjectPropertySelector> {};

TEST_P(AudioEnumerationSystemFailure, AFailingSystemQueryLeavesTheListEmpty)
{
    VirtualAudioWorld world;
    AudioObjectID id = world.addDevice(deviceSpec("Present", {2}, {2}));
    world.setDefaultDevices(id, id);
    world.failRead(kAudioObjectSystemObject, GetParam());
    VTCoreAudio audio;
    EXPECT_TRUE(audio.m_devices.empty());
}

INSTANTIATE_TEST_SUITE_P(SystemQueries, AudioEnumerationSystemFailure,
                         ::testing::Values(kAudioHardwarePropertyDevices, kAudioHardwarePropertyDefaultInputDevice,
                                           kAudioHardwarePropertyDefaultOutputDevice));

TEST(AudioEnumeration, AMachineWithoutDevicesGivesAnEmptyList)
{
    VirtualAudioWorld world;
    world.hideNullDevice();
    VTCoreAudio audio;
    EXPECT_TRUE(audio.m_devices.empty());
}

TEST(AudioEnumeration, TheNullDeviceIsListedWhenNoOtherDeviceExists)
{
    VirtualAudioWorld world;
    VTCoreAudio audio;
    ASSERT_EQ(audio.m_devices.size(), 2u);
    for (const VTAudioDevice* device : audio.m_devices) {
        EXPECT_EQ(device->name, "Null Audio Device");
        EXPECT_EQ(device->id, world.nullDeviceID());
        EXPECT_EQ(device->channels, 2);
        EXPECT_TRUE(device->isDefault);
    }
    EXPECT_EQ(audio.m_devices[1]->sampleRate, 48000.0);
    EXPECT_EQ(audio.m_devices[1]->bufferSize, 512u);
}

TEST(AudioEnumeration, TheNullDeviceStaysAwayWhileAnotherDeviceExists)
{
    VirtualAudioWorld world;
    world.addDevice(deviceSpec("Only", {}, {2}));
    VTCoreAudio audio;
    ASSERT_EQ(audio.m_devices.size(), 1u);
    EXPECT_EQ(audio.m_devices[0]->name, "Only");
}

// Which entries are marked default for a choice of system defaults.
struct DefaultCase {
    const char* name;
    int defaultInput;  // index into the devices below
    int defaultOutput; // index into the devices below
    // Expected isDefault of: Built-in In (input), Built-in In (output),
    // Built-in Out (output), USB (input), USB (output).
    std::vector<bool> marks;
};

void PrintTo(const DefaultCase& value, std::ostream* os)
{
    *os << value.name;
}

class AudioEnumerationDefaults : public ::testing::TestWithParam<DefaultCase> {};

TEST_P(AudioEnumerationDefaults, DefaultEntriesFollowTheBuiltInRule)
{
    VirtualAudioWorld world;
    VirtualAudioDeviceSpec builtInDuplex = deviceSpec("Built-in In", {2}, {2});
    builtInDuplex.transportType = kAudioDeviceTransportTypeBuiltIn;
    VirtualAudioDeviceSpec builtInOut = deviceSpec("Built-in Out", {}, {2});
    builtInOut.transportType = kAudioDeviceTransportTypeBuiltIn;
    VirtualAudioDeviceSpec usb = deviceSpec("USB", {2}, {2});
    usb.transportType = kAudioDeviceTransportTypeUSB;
    AudioObjectID ids[3] = {world.addDevice(builtInDuplex), world.addDevice(builtInOut), world.addDevice(usb)};
    world.setDefaultDevices(ids[GetParam().defaultInput], ids[GetParam().defaultOutput]);

    VTCoreAudio audio;
    ASSERT_EQ(audio.m_devices.size(), GetParam().marks.size());
    for (size_t i = 0; i < audio.m_devices.size(); ++i)
        EXPECT_EQ(audio.m_devices[i]->isDefault, GetParam().marks[i])
            << audio.m_devices[i]->name << (audio.m_devices[i]->isInput ? " input" : " output");
}

INSTANTIATE_TEST_SUITE_P(Defaults, AudioEnumerationDefaults,
                         ::testing::Values(
                             // One device is both defaults: every built-in output entry is default,
                             // besides the entries of that device.
                             DefaultCase{"SharedBuiltIn", 0, 0, {true, true, true, false, false}},
                             DefaultCase{"SharedUSB", 2, 2, {false, true, true, true, true}},
                             // Different defaults: only the entries equal to them.
                             DefaultCase{"SplitBuiltInInUSBOut", 0, 2, {true, false, false, false, true}},
                             DefaultCase{"SplitUSBInBuiltInOut", 2, 1, {false, false, true, true, false}}),
                         [](const auto& info) { return std::string(info.param.name); });

// Names as the platform hands them out, and the text each entry shows.
struct NameCase {
    const char* name;
    std::string utf8;
    std::optional<std::u16string> units;
    std::string inputName;
    std::string outputName;
};

void PrintTo(const NameCase& value, std::ostream* os)
{
    *os << value.name;
}

class AudioEnumerationNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(AudioEnumerationNames, NamesAreUtf8OrTheFallbackOfTheirDirection)
{
    VirtualAudioWorld world;
    VirtualAudioDeviceSpec spec = deviceSpec("x", {2}, {2});
    spec.name = GetParam().utf8;
    spec.nameUnits = GetParam().units;
    world.addDevice(spec);
    VTCoreAudio audio;
    ASSERT_EQ(audio.m_devices.size(), 2u);
    EXPECT_EQ(audio.m_devices[0]->name, GetParam().inputName);
    EXPECT_EQ(audio.m_devices[1]->name, GetParam().outputName);
}

INSTANTIATE_TEST_SUITE_P(Names, AudioEnumerationNames,
                         ::testing::Values(
                             // Made from 8-bit text: the string hands out its own UTF-8.
                             NameCase{"Direct",
                                      "Gr\xC3\xBC\xC3\x9F"
                                      "e Box",
                                      std::nullopt,
                                      "Gr\xC3\xBC\xC3\x9F"
                                      "e Box",
                                      "Gr\xC3\xBC\xC3\x9F"
                                      "e Box"},
                             // Made from UTF-16: converted; U+00FC is "\xC3\xBC" in UTF-8.
                             NameCase{"Converted", "", u"M\u00FCnchen",
                                      "M\xC3\xBC"
                                      "nchen",
                                      "M\xC3\xBC"
                                      "nchen"},
                             // An unpaired surrogate has no UTF-8 form.
                             NameCase{"Unconvertible", "", std::u16string(u"Bad ") + char16_t(0xD800),
                                      "Unknown Input Device", "Unknown Output Device"},
                             // 600 characters need more than the 512 bytes the conversion has.
                             NameCase{"TooLongToConvert", "", std::u16string(600, u'a'), "Unknown Input Device",
                                      "Unknown Output Device"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AudioEnumeration, EverySettingsPairIsEqualAndDeviceInfoBecomesValid)
{
    VirtualAudioWorld world;
    world.addDevice(deviceSpec("A", {2}, {}));
    world.addDevice(deviceSpec("B", {}, {2}));
    VTCoreAudio audio;
    ASSERT_EQ(audio.m_devices.size(), 2u);
    EXPECT_TRUE(audio.equalSettings(audio.m_devices[0], audio.m_devices[1]));
    EXPECT_FALSE(audio.m_devices[1]->infoValid);
    EXPECT_TRUE(audio.getDeviceInfo(audio.m_devices[1], false));
    EXPECT_TRUE(audio.m_devices[1]->infoValid);
    EXPECT_FALSE(audio.m_devices[0]->infoValid);
}

TEST(AudioEnumeration, ClearDeletesEveryRecordAndEmptiesTheList)
{
    VirtualAudioWorld world;
    world.addDevice(deviceSpec("A", {2}, {2}));
    VTAudioLib lib;
    EXPECT_EQ(lib.devices().size(), 2u);
    lib.m_coreaudio.clear();
    EXPECT_TRUE(lib.devices().empty());
}
