// The settings store: what it writes, what it reads back at start-up, and
// how it joins the stored MIDI records with the live devices.
#include "SettingsTestSupport.h"
#include "VTVSTHostRegistry.h"

#include <plist/plist.h>

#include <memory>
#include <optional>

using settingstest::copyValue;
using settingstest::TemporaryHome;

namespace {

const std::string kBundle = "Probe";
const std::string kDomain = "com.veltrane.Probe";

// An audio layer's device list: records owned here, plain pointers handed
// to the registry as the audio layer hands out its list.
struct AudioDevices {
    std::vector<std::unique_ptr<VTAudioDevice>> owned;
    std::vector<VTAudioDevice*> list;

    VTAudioDevice* add(const std::string& name, bool input, uint16_t channels = 2, uint32_t type = 16)
    {
        auto device = std::make_unique<VTAudioDevice>();
        device->type = type;
        device->name = name;
        device->isInput = input;
        device->channels = channels;
        device->bufferSize = 2048;
        owned.push_back(std::move(device));
        list.push_back(owned.back().get());
        return list.back();
    }
};

struct MidiDevices {
    std::vector<std::unique_ptr<VTMidiDevice>> owned;
    std::vector<VTMidiDevice*> list;

    VTMidiDevice* add(const std::string& name, bool in, uint32_t index, bool active = false)
    {
        auto device = std::make_unique<VTMidiDevice>();
        device->name = name;
        device->in = in;
        device->index = index;
        device->active = active;
        owned.push_back(std::move(device));
        list.push_back(owned.back().get());
        return list.back();
    }
};

VTMidiDevice* newRecord(const std::string& name, bool in)
{
    auto* record = new VTMidiDevice;
    record->name = name;
    record->in = in;
    return record;
}

// The name stored in "Midi Device <number>" as a fresh run reads it.
std::optional<std::string> storedRecordName(int number)
{
    vt::testing::forgetPreferencesInMemory();
    CFTypeRef value = copyValue("Midi Device " + std::to_string(number), kDomain);
    if (value == nullptr)
        return std::nullopt;
    std::optional<std::string> name;
    if (CFGetTypeID(value) == CFDictionaryGetTypeID()) {
        char buffer[256] = {};
        auto text = CFDictionaryGetValue(static_cast<CFDictionaryRef>(value), CFSTR("name"));
        if (text != nullptr &&
            CFStringGetCString(static_cast<CFStringRef>(text), buffer, sizeof buffer, kCFStringEncodingUTF8))
            name = buffer;
    }
    CFRelease(value);
    return name;
}

std::string integer(const char* key, long value)
{
    return std::string("<key>") + key + "</key><integer>" + std::to_string(value) + "</integer>\n";
}

std::string text(const char* key, const char* value)
{
    return std::string("<key>") + key + "</key><string>" + value + "</string>\n";
}

} // namespace

using RegistryStore = TemporaryHome;

// ------------------------------------------------------------- round trip

TEST_F(RegistryStore, EveryStoredSettingComesBackFromTheFileInTheNextRun)
{
    AudioDevices before;
    VTAudioDevice* input = before.add("Duet In", true, 4);
    input->left = 3;
    input->right = 2;
    input->bufferSize = 256;
    VTAudioDevice* output = before.add("Duet Out", false, 2);
    output->left = 1;
    output->right = 0;
    output->bufferSize = 512;
    {
        VTVSTHostRegistry writer(kBundle, false);
        writer.inputDevice = input;
        writer.outputDevice = output;
        writer.tempo = 97.5;
        // A learned control change 64 on channel 1: 0xB0 * 256 + 64.
        writer.tempoTab = 45120;
        writer.samplePath = "/Users/me/Loops/Drums \xc3\xbc.wav";
        writer.sampleLooped = false; // an effect's defaults are true
        writer.sampleStartByMidi = true;
        writer.sampleCalcTempo = false;
        writer.sampleRecordOption = 2;
        writer.sampleRecordMaxBars = 16;
        writer.openPlayerOnStartup = false;
        writer.startPlayerAutomatic = true;
        VTMidiDevice* keys = newRecord("Keystation 49", true);
        keys->active = true;
        keys->sync = true;
        keys->syncWhilePlaying = true;
        keys->delay = 12;
        keys->filterCCMessages = true;
        keys->channel = 10;
        keys->keyboardRangeLeft = 36;
        keys->keyboardRangeRight = 96;
        VTMidiDevice* bus = newRecord("IAC Bus", false);
        bus->active = true;
        bus->filterProgramChanges = true;
        writer.midiDevices = {keys, bus};
        writer.write();
    }
    EXPECT_EQ(readFile(domainFile(kDomain)).rfind("<?xml", 0), 0u);
    EXPECT_EQ(copyValue("contentpath", kDomain), nullptr);

    // A new run: new device records with the same names, nothing in memory.
    vt::testing::forgetPreferencesInMemory();
    AudioDevices after;
    VTAudioDevice* newInput = after.add("Duet In", true, 4);
    VTAudioDevice* newOutput = after.add("Duet Out", false, 2);
    VTVSTHostRegistry reader(kBundle, false);
    reader.readStoredSettings(after.list);

    EXPECT_EQ(reader.inputDevice, newInput);
    EXPECT_EQ(reader.outputDevice, newOutput);
    EXPECT_EQ(newInput->left.load(), 3u);
    EXPECT_EQ(newInput->right.load(), 2u);
    EXPECT_EQ(newInput->bufferSize, 256u);
    EXPECT_EQ(newOutput->left.load(), 1u);
    EXPECT_EQ(newOutput->right.load(), 0u);
    EXPECT_EQ(newOutput->bufferSize, 512u);
    EXPECT_EQ(reader.tempo.load(), 97.5);
    EXPECT_EQ(reader.tempoTab.load(), 45120);
    EXPECT_EQ(reader.samplePath, "/Users/me/Loops/Drums \xc3\xbc.wav");
    EXPECT_FALSE(reader.sampleLooped);
    EXPECT_TRUE(reader.sampleStartByMidi);
    EXPECT_FALSE(reader.sampleCalcTempo);
    EXPECT_EQ(reader.sampleRecordOption, 2);
    EXPECT_EQ(reader.sampleRecordMaxBars, 16);
    EXPECT_FALSE(reader.openPlayerOnStartup);
    EXPECT_TRUE(reader.startPlayerAutomatic);

    ASSERT_EQ(reader.midiDevices.size(), 2u);
    const VTMidiDevice& keys = *reader.midiDevices[0];
    EXPECT_EQ(keys.name, "Keystation 49");
    EXPECT_TRUE(keys.in);
    EXPECT_EQ(keys.index, VTMidiDevice::kNoIndex);
    EXPECT_EQ(keys.type, 2u);
    EXPECT_TRUE(keys.active);
    EXPECT_TRUE(keys.sync);
    EXPECT_TRUE(keys.syncWhilePlaying);
    EXPECT_EQ(keys.delay.load(), 12);
    EXPECT_TRUE(keys.filterCCMessages);
    EXPECT_FALSE(keys.filterProgramChanges);
    EXPECT_EQ(keys.channel.load(), 10);
    EXPECT_EQ(keys.keyboardRangeLeft.load(), 36);
    EXPECT_EQ(keys.keyboardRangeRight.load(), 96);
    const VTMidiDevice& bus = *reader.midiDevices[1];
    EXPECT_EQ(bus.name, "IAC Bus");
    EXPECT_FALSE(bus.in);
    EXPECT_TRUE(bus.active);
    EXPECT_FALSE(bus.sync);
    EXPECT_TRUE(bus.filterProgramChanges);
    EXPECT_EQ(bus.keyboardRangeRight.load(), 127);
}

TEST_F(RegistryStore, SingleKeysAreStoredAndReadAsStringsAndNumbers)
{
    VTVSTHostRegistry registry(kBundle, true);
    EXPECT_TRUE(registry.setkeyvalue("contentpath", std::string("/Library/Application Support/Veltrane/")));
    EXPECT_TRUE(registry.setkeyvalue("sampleRecordOption", 3));
    vt::testing::forgetPreferencesInMemory();

    std::string path = "untouched";
    int number = -7;
    EXPECT_FALSE(registry.getkeyvalue("absent", &path));
    EXPECT_FALSE(registry.getkeyvalue("absent", &number));
    EXPECT_EQ(path, "untouched");
    EXPECT_EQ(number, -7);
    // A string under a number's key and the reverse count as absent.
    EXPECT_FALSE(registry.getkeyvalue("contentpath", &number));
    EXPECT_FALSE(registry.getkeyvalue("sampleRecordOption", &path));
    EXPECT_EQ(number, -7);

    EXPECT_TRUE(registry.getkeyvalue("contentpath", &path));
    EXPECT_EQ(path, "/Library/Application Support/Veltrane/");
    EXPECT_TRUE(registry.getkeyvalue("sampleRecordOption", &number));
    EXPECT_EQ(number, 3);
}

// --------------------------------------------------------------- defaults

class RegistryFirstRun : public TemporaryHome, public ::testing::WithParamInterface<bool> {};

TEST_P(RegistryFirstRun, LeavesNoDevicesTempo120AndThePlayerDefaultsOfThePluginKind)
{
    const bool isSynth = GetParam();
    AudioDevices devices;
    devices.add("Built-in Output", false);
    VTVSTHostRegistry registry(kBundle, isSynth);
    registry.readStoredSettings(devices.list);

    EXPECT_EQ(registry.appId, "com.veltrane.Probe");
    EXPECT_EQ(registry.inputDevice, nullptr);
    EXPECT_EQ(registry.outputDevice, nullptr);
    EXPECT_EQ(registry.tempo.load(), 120.0);
    EXPECT_EQ(registry.tempoTab.load(), 0);
    EXPECT_TRUE(registry.midiDevices.empty());
    EXPECT_EQ(registry.midiType, 2);
    EXPECT_EQ(registry.samplePath, "");
    // An effect loops, follows the tempo and opens the player by default;
    // an instrument does none of these.
    EXPECT_EQ(registry.sampleLooped, !isSynth);
    EXPECT_EQ(registry.sampleCalcTempo, !isSynth);
    EXPECT_EQ(registry.openPlayerOnStartup, !isSynth);
    EXPECT_FALSE(registry.sampleStartByMidi);
    EXPECT_FALSE(registry.startPlayerAutomatic);
    EXPECT_EQ(registry.sampleRecordOption, 0);
    EXPECT_EQ(registry.sampleRecordMaxBars, 0);
    // Reading writes nothing.
    EXPECT_FALSE(std::filesystem::exists(domainFile(kDomain)));
}

INSTANTIATE_TEST_SUITE_P(PluginKinds, RegistryFirstRun, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Instrument" : "Effect"; });

// ------------------------------------------------------ audio device gate

struct DeviceTypeCase {
    const char* label;
    std::string entry; // the "AudioDeviceType" entry, empty when absent
};

void PrintTo(const DeviceTypeCase& value, std::ostream* out)
{
    *out << value.label;
}

class RegistryForeignDeviceType : public TemporaryHome, public ::testing::WithParamInterface<DeviceTypeCase> {};

TEST_P(RegistryForeignDeviceType, IgnoresTheStoredDevicesChannelsAndTempo)
{
    writeXMLDomain(kDomain, GetParam().entry + text("AudioDeviceIn Name", "Duet In") +
                                text("AudioDeviceOut Name", "Duet Out") + integer("AudioDeviceIn Left", 1) +
                                integer("AudioDeviceIn Right", 0) + integer("AudioDeviceIn BufferSize", 64) +
                                "<key>Tempo</key><real>150.0</real>\n" + integer("tempoTab", 45120));
    AudioDevices devices;
    VTAudioDevice* input = devices.add("Duet In", true);
    devices.add("Duet Out", false);
    VTVSTHostRegistry registry(kBundle, true);
    registry.readStoredSettings(devices.list);

    EXPECT_EQ(registry.inputDevice, nullptr);
    EXPECT_EQ(registry.outputDevice, nullptr);
    EXPECT_EQ(input->left.load(), 0u);
    EXPECT_EQ(input->right.load(), 1u);
    EXPECT_EQ(input->bufferSize, 2048u);
    EXPECT_EQ(registry.tempo.load(), 120.0);
    // The keys after the device block are read all the same.
    EXPECT_EQ(registry.tempoTab.load(), 45120);
}

INSTANTIATE_TEST_SUITE_P(Types, RegistryForeignDeviceType,
                         ::testing::Values(DeviceTypeCase{"Absent", ""},
                                           DeviceTypeCase{"OtherDriverFamily", integer("AudioDeviceType", 2)},
                                           DeviceTypeCase{"StringInsteadOfNumber", text("AudioDeviceType", "16")}),
                         [](const auto& info) { return std::string(info.param.label); });

struct DeviceNameCase {
    const char* label;
    const char* storedName;
    int expected; // position in the list below, -1 for none
};

void PrintTo(const DeviceNameCase& value, std::ostream* out)
{
    *out << value.label;
}

class RegistryStoredDeviceName : public TemporaryHome, public ::testing::WithParamInterface<DeviceNameCase> {};

TEST_P(RegistryStoredDeviceName, SelectsTheFirstCoreAudioInputOfExactlyThatName)
{
    writeXMLDomain(kDomain, integer("AudioDeviceType", 16) + text("AudioDeviceIn Name", GetParam().storedName) +
                                "<key>Tempo</key><real>88.0</real>\n");
    AudioDevices devices;
    devices.add("Duo", false);         // 0: an output
    devices.add("Duo", true, 2, 8);    // 1: another driver family
    devices.add("Duo ", true);         // 2: another name
    devices.add("Duo", true);          // 3: the one
    devices.add("Duo", true);          // 4: a later twin
    devices.add("Built-in Mic", true); // 5
    VTVSTHostRegistry registry(kBundle, true);
    registry.readStoredSettings(devices.list);

    VTAudioDevice* expected = GetParam().expected < 0 ? nullptr : devices.list[GetParam().expected];
    EXPECT_EQ(registry.inputDevice, expected);
    EXPECT_EQ(registry.outputDevice, nullptr);
    EXPECT_EQ(registry.tempo.load(), 88.0);
}

INSTANTIATE_TEST_SUITE_P(Names, RegistryStoredDeviceName,
                         ::testing::Values(DeviceNameCase{"Present", "Duo", 3},
                                           DeviceNameCase{"NoLongerPresent", "Scarlett 2i2", -1},
                                           DeviceNameCase{"DifferentCase", "duo", -1},
                                           DeviceNameCase{"OtherDevice", "Built-in Mic", 5}),
                         [](const auto& info) { return std::string(info.param.label); });

struct ChannelCase {
    const char* label;
    std::string entries;
    uint32_t left, right, bufferSize;
};

void PrintTo(const ChannelCase& value, std::ostream* out)
{
    *out << value.label;
}

class RegistryStoredChannels : public TemporaryHome, public ::testing::WithParamInterface<ChannelCase> {};

TEST_P(RegistryStoredChannels, ApplyToTheChosenDevice)
{
    writeXMLDomain(kDomain,
                   integer("AudioDeviceType", 16) + text("AudioDeviceOut Name", "Duet Out") + GetParam().entries);
    AudioDevices devices;
    VTAudioDevice* output = devices.add("Duet Out", false, 4);
    VTVSTHostRegistry registry(kBundle, true);
    registry.readStoredSettings(devices.list);

    ASSERT_EQ(registry.outputDevice, output);
    EXPECT_EQ(output->left.load(), GetParam().left);
    EXPECT_EQ(output->right.load(), GetParam().right);
    EXPECT_EQ(output->bufferSize, GetParam().bufferSize);
}

// The device has 4 channels (0 to 3) and starts with left 0, right 1.
INSTANTIATE_TEST_SUITE_P(
    Entries, RegistryStoredChannels,
    ::testing::Values(ChannelCase{"Stored",
                                  integer("AudioDeviceOut Left", 2) + integer("AudioDeviceOut Right", 3) +
                                      integer("AudioDeviceOut BufferSize", 128),
                                  2, 3, 128},
                      // Absent channels stay; an absent buffer size is 1024.
                      ChannelCase{"Absent", "", 0, 1, 1024},
                      ChannelCase{"OnlyRight", integer("AudioDeviceOut Right", 0), 0, 0, 1024},
                      // Channels the device lacks and a buffer of no frames
                      // cannot be used.
                      ChannelCase{"OutOfRange",
                                  integer("AudioDeviceOut Left", 4) + integer("AudioDeviceOut Right", -1) +
                                      integer("AudioDeviceOut BufferSize", 0),
                                  0, 1, 1024},
                      ChannelCase{"WrongType",
                                  text("AudioDeviceOut Left", "2") + text("AudioDeviceOut BufferSize", "64"), 0, 1,
                                  1024}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(RegistryStore, ValuesOfAnUnexpectedTypeReadAsAbsentAndTheDefaultsStay)
{
    writeXMLDomain(kDomain, integer("AudioDeviceType", 16) + text("Tempo", "140") + text("sampleLooped", "0") +
                                "<key>sampleRecordMaxBars</key><true/>\n" + integer("samplePath", 3) +
                                "<key>Midi Device 0</key><string>Keystation</string>\n" +
                                // Any number is read as an int.
                                "<key>sampleRecordOption</key><real>2.0</real>\n");
    VTVSTHostRegistry registry(kBundle, false);
    registry.readStoredSettings({});

    EXPECT_EQ(registry.tempo.load(), 120.0);
    EXPECT_TRUE(registry.sampleLooped);
    EXPECT_EQ(registry.sampleRecordMaxBars, 0);
    EXPECT_EQ(registry.samplePath, "");
    EXPECT_TRUE(registry.midiDevices.empty());
    EXPECT_EQ(registry.sampleRecordOption, 2);
}

TEST_F(RegistryStore, ATempoTheEngineCannotDivideByIsIgnored)
{
    // The engine divides by the tempo: zero and negative values from a
    // damaged file keep the default; a sound one in the same place is read.
    const std::pair<const char*, double> cases[] = {{"0.0", 120.0}, {"-90.0", 120.0}, {"77.5", 77.5}};
    for (const auto& [stored, expected] : cases) {
        writeXMLDomain(kDomain, integer("AudioDeviceType", 16) + "<key>Tempo</key><real>" + stored + "</real>\n");
        vt::testing::forgetPreferencesInMemory();
        VTVSTHostRegistry registry(kBundle, false);
        registry.readStoredSettings({});
        EXPECT_EQ(registry.tempo.load(), expected) << stored;
    }
}

// ------------------------------------------------------------ MIDI records

TEST_F(RegistryStore, NullAndUnstorableRecordsDoNotUseANumber)
{
    {
        VTVSTHostRegistry registry(kBundle, true);
        // A name that is not valid text cannot become a stored string.
        // An empty name is a name like any other and takes its number.
        registry.midiDevices = {nullptr, newRecord("First", true), newRecord("\xff\xfe", true), newRecord("", true),
                                newRecord("Second", false)};
        registry.write();
    }
    EXPECT_EQ(storedRecordName(0), "First");
    EXPECT_EQ(storedRecordName(1), "");
    EXPECT_EQ(storedRecordName(2), "Second");
    EXPECT_EQ(storedRecordName(3), std::nullopt);

    VTVSTHostRegistry reader(kBundle, true);
    reader.readStoredSettings({});
    ASSERT_EQ(reader.midiDevices.size(), 3u);
    EXPECT_EQ(reader.midiDevices[2]->name, "Second");
    EXPECT_FALSE(reader.midiDevices[2]->in);
}

TEST_F(RegistryStore, HigherNumberedRecordsOfAnEarlierRunStayInPlace)
{
    auto record = [](const char* name) {
        return std::string("<dict><key>name</key><string>") + name + "</string></dict>\n";
    };
    writeXMLDomain(kDomain, "<key>Midi Device 0</key>" + record("Old0") + "<key>Midi Device 1</key>" + record("Old1") +
                                "<key>Midi Device 2</key>" + record("Old2"));
    {
        VTVSTHostRegistry registry(kBundle, true);
        registry.midiDevices = {newRecord("New", true)};
        registry.write();
    }
    EXPECT_EQ(storedRecordName(0), "New");
    EXPECT_EQ(storedRecordName(1), "Old1");
    EXPECT_EQ(storedRecordName(2), "Old2");
}

TEST_F(RegistryStore, RecordsAreReadUpToTheFirstMissingNumberWithDefaultsForMissingEntries)
{
    // Entry by entry: only the boolean true counts as true; numbers of the
    // wrong type and a missing range end keep the defaults (0 and 127).
    writeXMLDomain(kDomain, "<key>Midi Device 0</key><dict>\n"
                            "<key>name</key><integer>5</integer>\n"
                            "<key>in</key><true/>\n"
                            "<key>active</key><integer>1</integer>\n"
                            "<key>sync</key><string>true</string>\n"
                            "<key>syncWhilePlaying</key><false/>\n"
                            "<key>filterCCMessages</key><true/>\n"
                            "<key>filterProgramChanges</key><real>1.0</real>\n"
                            "<key>delay</key><string>5</string>\n"
                            "<key>channel</key><integer>3</integer>\n"
                            "<key>keyboardRangeLeft</key><integer>21</integer>\n"
                            "</dict>\n"
                            "<key>Midi Device 1</key><dict><key>name</key><string>B</string></dict>\n"
                            // Number 2 is missing, so number 3 is never reached.
                            "<key>Midi Device 3</key><dict><key>name</key><string>D</string></dict>\n");
    VTVSTHostRegistry registry(kBundle, true);
    registry.readStoredSettings({});

    ASSERT_EQ(registry.midiDevices.size(), 2u);
    const VTMidiDevice& first = *registry.midiDevices[0];
    EXPECT_EQ(first.name, "");
    EXPECT_TRUE(first.in);
    EXPECT_FALSE(first.active);
    EXPECT_FALSE(first.sync);
    EXPECT_FALSE(first.syncWhilePlaying);
    EXPECT_TRUE(first.filterCCMessages);
    EXPECT_FALSE(first.filterProgramChanges);
    EXPECT_EQ(first.delay.load(), 0);
    EXPECT_EQ(first.channel.load(), 3);
    EXPECT_EQ(first.keyboardRangeLeft.load(), 21);
    EXPECT_EQ(first.keyboardRangeRight.load(), 127);
    EXPECT_EQ(first.index, VTMidiDevice::kNoIndex);
    EXPECT_EQ(registry.midiDevices[1]->name, "B");
    EXPECT_FALSE(registry.midiDevices[1]->in);
}

TEST_F(RegistryStore, MergeLendsLiveIndicesToKnownRecordsAndAppendsUnknownDevices)
{
    VTVSTHostRegistry registry(kBundle, true);
    VTMidiDevice* storedKeys = newRecord("Keys", true);
    storedKeys->active = true;
    storedKeys->channel = 4;
    VTMidiDevice* storedBus = newRecord("Bus", false);
    registry.midiDevices = {storedKeys, storedBus};

    MidiDevices live;
    VTMidiDevice* liveKeys = live.add("Keys", true, 5, false);
    VTMidiDevice* liveKeysOut = live.add("Keys", false, 2, true); // same name, other direction
    VTMidiDevice* livePad = live.add("Pad", true, 7, true);
    livePad->channel = 9; // settings of the live device are not copied
    registry.mergeMidiDevices(live.list);

    ASSERT_EQ(registry.midiDevices.size(), 4u);
    EXPECT_EQ(registry.midiDevices[0], storedKeys);
    EXPECT_EQ(storedKeys->index, 5u);
    EXPECT_TRUE(liveKeys->active);
    EXPECT_EQ(storedKeys->channel.load(), 4);
    EXPECT_EQ(storedBus->index, VTMidiDevice::kNoIndex);

    VTMidiDevice* addedOut = registry.midiDevices[2];
    EXPECT_NE(addedOut, liveKeysOut);
    EXPECT_EQ(addedOut->name, "Keys");
    EXPECT_FALSE(addedOut->in);
    EXPECT_EQ(addedOut->index, 2u);
    EXPECT_TRUE(addedOut->active);

    const VTMidiDevice& addedPad = *registry.midiDevices[3];
    EXPECT_EQ(addedPad.name, "Pad");
    EXPECT_TRUE(addedPad.in);
    EXPECT_EQ(addedPad.index, 7u);
    EXPECT_EQ(addedPad.type, 2u);
    EXPECT_TRUE(addedPad.active);
    EXPECT_EQ(addedPad.channel.load(), 0);
    EXPECT_FALSE(addedPad.sync);
    EXPECT_EQ(addedPad.keyboardRangeLeft.load(), 0);
    EXPECT_EQ(addedPad.keyboardRangeRight.load(), 127);

    EXPECT_EQ(registry.getMidiDevice(livePad), registry.midiDevices[3]);
    EXPECT_EQ(registry.getMidiDevice(liveKeysOut), addedOut);
}

// ------------------------------------------------------ file robustness

TEST_F(RegistryStore, ACorruptFileIsKeptAsideAndTheDefaultsAreUsed)
{
    const std::string garbage = "<?xml version=\"1.0\"?><plist><dict><key>Tempo</key><real>9";
    writeFile(domainFile(kDomain), garbage);
    AudioDevices devices;
    devices.add("Duet Out", false);
    VTVSTHostRegistry registry(kBundle, false);
    registry.readStoredSettings(devices.list);

    EXPECT_EQ(registry.outputDevice, nullptr);
    EXPECT_EQ(registry.tempo.load(), 120.0);
    EXPECT_TRUE(registry.sampleLooped);
    const auto aside = preferencesFolder() / (kDomain + ".plist.corrupt");
    EXPECT_EQ(readFile(aside), garbage);

    registry.tempo = 132.0;
    registry.write();
    EXPECT_EQ(readFile(aside), garbage);
    vt::testing::forgetPreferencesInMemory();
    VTVSTHostRegistry next(kBundle, false);
    // "Tempo" is read only with a Core Audio device type, which this run
    // never chose; the player keys show that the new file is readable.
    EXPECT_TRUE(next.setkeyvalue("AudioDeviceType", 16));
    next.readStoredSettings({});
    EXPECT_EQ(next.tempo.load(), 132.0);
}

TEST_F(RegistryStore, AFailedWriteLeavesThePreviousSettingsOnDisk)
{
    {
        VTVSTHostRegistry registry(kBundle, true);
        AudioDevices devices;
        registry.outputDevice = devices.add("Duet Out", false);
        registry.tempo = 100.0;
        registry.write();
        const std::string before = readFile(domainFile(kDomain));

        vt::testing::PreferencesWriteFault fault(vt::testing::PreferencesWriteStep::writeContents);
        registry.tempo = 140.0;
        registry.samplePath = "/new/take.wav";
        registry.write();
        EXPECT_FALSE(registry.setkeyvalue("sampleRecordOption", 1));
        EXPECT_EQ(readFile(domainFile(kDomain)), before);
    }
    // The next run finds the last complete set of settings.
    vt::testing::forgetPreferencesInMemory();
    AudioDevices devices;
    devices.add("Duet Out", false);
    VTVSTHostRegistry next(kBundle, true);
    next.readStoredSettings(devices.list);
    EXPECT_EQ(next.tempo.load(), 100.0);
    EXPECT_EQ(next.samplePath, "");
    EXPECT_EQ(next.sampleRecordOption, 0);
}

TEST_F(RegistryStore, SettingsInABinaryFileFromAnotherToolAreRead)
{
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "AudioDeviceType", plist_new_uint(16));
    plist_dict_set_item(root, "AudioDeviceIn Name", plist_new_string("Duet In"));
    plist_dict_set_item(root, "AudioDeviceIn Right", plist_new_uint(0));
    plist_dict_set_item(root, "Tempo", plist_new_real(84.5));
    plist_dict_set_item(root, "samplePath", plist_new_string("/loops/a.aif"));
    plist_dict_set_item(root, "sampleStartByMidi", plist_new_uint(1));
    plist_t record = plist_new_dict();
    plist_dict_set_item(record, "name", plist_new_string("Pad"));
    plist_dict_set_item(record, "in", plist_new_bool(1));
    plist_dict_set_item(record, "sync", plist_new_bool(1));
    plist_dict_set_item(record, "channel", plist_new_uint(16));
    plist_dict_set_item(root, "Midi Device 0", record);
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    ASSERT_NE(bytes, nullptr);
    writeFile(domainFile(kDomain), std::string(bytes, length));
    plist_to_bin_free(bytes);
    plist_free(root);

    AudioDevices devices;
    VTAudioDevice* input = devices.add("Duet In", true);
    VTVSTHostRegistry registry(kBundle, true);
    registry.readStoredSettings(devices.list);

    EXPECT_EQ(registry.inputDevice, input);
    EXPECT_EQ(input->right.load(), 0u);
    EXPECT_EQ(registry.tempo.load(), 84.5);
    EXPECT_EQ(registry.samplePath, "/loops/a.aif");
    EXPECT_TRUE(registry.sampleStartByMidi);
    ASSERT_EQ(registry.midiDevices.size(), 1u);
    EXPECT_EQ(registry.midiDevices[0]->name, "Pad");
    EXPECT_TRUE(registry.midiDevices[0]->in);
    EXPECT_TRUE(registry.midiDevices[0]->sync);
    EXPECT_EQ(registry.midiDevices[0]->channel.load(), 16);
}
