// The preferences window as a person uses it, over virtual devices: every
// change is read back from the preferences file on disk.
#include "WindowRig.h"

#include <set>

using namespace windowtest;

namespace {

// Two interfaces with both directions, an input-only microphone and an
// output-only pair of speakers, each with two channels.
RigOptions studio()
{
    RigOptions options;
    options.audioDevices = {device("Duet", {2}, {2}), device("Quartet", {2}, {2}), device("Mic", {2}, {}),
                            device("Speakers", {}, {2})};
    options.midiSources = {"Keys", "Pads"};
    options.midiDestinations = {"Synth A", "Synth B"};
    return options;
}

std::vector<std::string> titles(NSPopUpButton* popUp)
{
    std::vector<std::string> items;
    for (NSInteger i = 0; i < popUp->numberOfItems(); ++i)
        items.push_back(popUp->itemTitleAtIndex(i).utf8());
    return items;
}

NSInteger itemTitled(NSPopUpButton* popUp, const std::string& title)
{
    for (NSInteger i = 0; i < popUp->numberOfItems(); ++i)
        if (popUp->itemTitleAtIndex(i).utf8() == title)
            return i;
    return -1;
}

struct TabsCase {
    const char* label;
    bool synth;
    bool sendsMidi;
    std::vector<std::string> tabs;
    bool inputEntries;
    bool outputDestinations;
};

void PrintTo(const TabsCase& value, std::ostream* out)
{
    *out << value.label;
}

class PreferencesTabs : public ::testing::TestWithParam<TabsCase> {};

} // namespace

TEST_P(PreferencesTabs, FollowWhatThePluginIsAndStayTheSameAtTheNextOpening)
{
    const TabsCase& c = GetParam();
    RigOptions options = studio();
    options.synth = c.synth;
    options.sendsMidi = c.sendsMidi;
    WindowRig rig(options);
    rig.registry->outputDevice = rig.audioEntry("Duet", false);
    auto window = rig.openPreferences();

    for (int opening = 0; opening < 2; ++opening) {
        EXPECT_EQ(rig.user.tabLabels(window->_tabView), c.tabs);
        if (c.inputEntries) {
            EXPECT_EQ(titles(window->_audioInDevice), (std::vector<std::string>{"Duet", "Quartet", "Mic"}));
        } else {
            EXPECT_EQ(window->_audioInDevice->numberOfItems(), 0);
        }
        EXPECT_EQ(titles(window->_audioOutDevice), (std::vector<std::string>{"Duet", "Quartet", "Speakers"}));
        if (c.outputDestinations) {
            EXPECT_EQ(titles(window->_midiOutDevice), (std::vector<std::string>{"No Output", "Synth A", "Synth B"}));
        } else {
            EXPECT_EQ(window->_midiOutDevice->numberOfItems(), 0);
        }
        window->close();
        window->initialze();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Plugins, PreferencesTabs,
    ::testing::Values(
        TabsCase{"an effect that sends MIDI",
                 false,
                 true,
                 {"Audio Input", "Audio Output", "MIDI Input", "MIDI Output"},
                 true,
                 true},
        TabsCase{"a synth", true, true, {"Audio Output", "MIDI Input", "MIDI Output"}, false, true},
        TabsCase{
            "an effect that sends no MIDI", false, false, {"Audio Input", "Audio Output", "MIDI Input"}, true, false},
        TabsCase{"a synth that sends no MIDI", true, false, {"Audio Output", "MIDI Input"}, false, false}));

TEST(PreferencesAudio, ChoosingADuplexDeviceAsInputMovesTheOutputToItBeforeAudioRestarts)
{
    WindowRig rig(studio());
    rig.registry->inputDevice = rig.audioEntry("Mic", true);
    rig.registry->outputDevice = rig.audioEntry("Speakers", false);
    VTAudioDevice* quartetOut = rig.audioEntry("Quartet", false);
    quartetOut->left = 1;
    quartetOut->right = 0;
    auto window = rig.openPreferences();

    ASSERT_TRUE(rig.user.choose(window->_audioInDevice, itemTitled(window->_audioInDevice, "Quartet")));

    // The output pop-up and its channels follow the input.
    EXPECT_EQ(window->_audioOutDevice->titleOfSelectedItem().utf8(), "Quartet");
    EXPECT_EQ(titles(window->_audioOutLeftChannel), rig.audioEntry("Quartet", false)->channelNames);
    EXPECT_EQ(window->_audioOutLeftChannel->indexOfSelectedItem(), 1);
    EXPECT_EQ(window->_audioOutRightChannel->indexOfSelectedItem(), 0);
    EXPECT_EQ(rig.registry->outputDevice, quartetOut);
    // Audio started once, on the one device: no aggregate was needed.
    vt::testing::VirtualAudioStream stream = rig.audioWorld.runningStream();
    ASSERT_TRUE(stream.valid());
    EXPECT_EQ(stream.deviceID(), rig.audioDevices[1]);
    EXPECT_TRUE(rig.audioWorld.aggregates().empty());
    auto stored = rig.storedFile();
    EXPECT_EQ(stored->string("AudioDeviceIn Name"), "Quartet");
    EXPECT_EQ(stored->string("AudioDeviceOut Name"), "Quartet");
    EXPECT_EQ(stored->number("AudioDeviceOut Left"), 1);
    EXPECT_EQ(stored->number("AudioDeviceOut Right"), 0);
    EXPECT_TRUE(rig.user.shown().empty());
}

TEST(PreferencesAudio, ChoosingAnInputOnlyDeviceLeavesTheOutputAndRunsOnTheAggregate)
{
    WindowRig rig(studio());
    rig.registry->inputDevice = rig.audioEntry("Duet", true);
    rig.registry->outputDevice = rig.audioEntry("Duet", false);
    auto window = rig.openPreferences();

    ASSERT_TRUE(rig.user.choose(window->_audioInDevice, itemTitled(window->_audioInDevice, "Mic")));

    EXPECT_EQ(window->_audioOutDevice->titleOfSelectedItem().utf8(), "Duet");
    EXPECT_EQ(rig.registry->outputDevice, rig.audioEntry("Duet", false));
    std::vector<vt::testing::VirtualAggregateInfo> aggregates = rig.audioWorld.aggregates();
    ASSERT_EQ(aggregates.size(), 1u);
    EXPECT_EQ(aggregates[0].name, "Veltrane Aggregate I/O");
    ASSERT_TRUE(rig.audioWorld.runningStream().valid());
    EXPECT_EQ(rig.audioWorld.runningStream().deviceID(), aggregates[0].id);
    auto stored = rig.storedFile();
    EXPECT_EQ(stored->string("AudioDeviceIn Name"), "Mic");
    EXPECT_EQ(stored->string("AudioDeviceOut Name"), "Duet");
}

TEST(PreferencesAudio, StoredChannelsBeyondTheDeviceShowTheFirstItemsAndAChoiceStoresRealChannels)
{
    WindowRig rig(studio());
    VTAudioDevice* speakers = rig.audioEntry("Speakers", false);
    VTAudioDevice* mic = rig.audioEntry("Mic", true);
    rig.registry->inputDevice = mic;
    rig.registry->outputDevice = speakers;
    speakers->left = 7;  // neither exists on two channels: left shows item 0,
    speakers->right = 5; // right item 1
    mic->left = 1;
    mic->right = 9;
    auto window = rig.openPreferences();

    EXPECT_EQ(window->_audioOutLeftChannel->indexOfSelectedItem(), 0);
    EXPECT_EQ(window->_audioOutRightChannel->indexOfSelectedItem(), 1);
    EXPECT_EQ(window->_audioInLeftChannel->indexOfSelectedItem(), 1);
    EXPECT_EQ(window->_audioInRightChannel->indexOfSelectedItem(), 1);

    // Changing one channel stores both as they are shown.
    ASSERT_TRUE(rig.user.choose(window->_audioOutRightChannel, 0));
    EXPECT_EQ(speakers->left.load(), 0u);
    EXPECT_EQ(speakers->right.load(), 0u);
    ASSERT_TRUE(rig.user.choose(window->_audioInLeftChannel, 0));
    EXPECT_EQ(mic->left.load(), 0u);
    EXPECT_EQ(mic->right.load(), 1u);
    auto stored = rig.storedFile();
    EXPECT_EQ(stored->number("AudioDeviceOut Left"), 0);
    EXPECT_EQ(stored->number("AudioDeviceOut Right"), 0);
    EXPECT_EQ(stored->number("AudioDeviceIn Left"), 0);
    EXPECT_EQ(stored->number("AudioDeviceIn Right"), 1);
}

TEST(PreferencesAudio, DevicesOfTheSameNameGetItemsOfTheirOwnSoEachItemChoosesItsDevice)
{
    RigOptions options;
    options.audioDevices = {device("USB Audio", {}, {2}), device("USB Audio", {}, {2})};
    WindowRig rig(options);
    VTAudioDevice* first = nullptr;
    VTAudioDevice* second = nullptr;
    for (VTAudioDevice* entry : rig.audio.devices())
        if (!entry->isInput && entry->name == "USB Audio")
            (first == nullptr ? first : second) = entry;
    ASSERT_NE(second, nullptr);
    rig.registry->outputDevice = first;
    auto window = rig.openPreferences();

    EXPECT_EQ(titles(window->_audioOutDevice), (std::vector<std::string>{"USB Audio", "USB Audio (2)"}));
    ASSERT_TRUE(rig.user.choose(window->_audioOutDevice, 1));
    EXPECT_EQ(rig.registry->outputDevice, second);
    EXPECT_EQ(rig.audioWorld.runningStream().deviceID(), rig.audioDevices[1]);
}

TEST(PreferencesAudio, AnOutputThatCannotStartIsReportedAndStaysChosen)
{
    RigOptions options;
    options.synth = true;
    options.audioDevices = {device("Duet", {2}, {2}), device("Unplugged", {}, {2})};
    WindowRig rig(options);
    rig.registry->outputDevice = rig.audioEntry("Duet", false);
    auto window = rig.openPreferences();
    // Unplugged after the list was made: the stream cannot run on it.
    ASSERT_TRUE(rig.audioWorld.removeDevice(rig.audioDevices[1]));

    rig.user.pressAlertButton();
    ASSERT_TRUE(rig.user.choose(window->_audioOutDevice, itemTitled(window->_audioOutDevice, "Unplugged")));

    ASSERT_EQ(rig.user.shown().size(), 1u);
    EXPECT_EQ(rig.user.shown()[0].messageText, "Error");
    EXPECT_EQ(rig.user.shown()[0].informativeText, "Couldn't start Audio-Engine!");
    EXPECT_EQ(rig.user.shown()[0].style, NSAlertStyleCritical);
    EXPECT_EQ(rig.storedFile()->string("AudioDeviceOut Name"), "Unplugged");
}

TEST(PreferencesMidiOutput, NoOutputLeavesEveryDestinationInactiveAndReopensTheInputs)
{
    WindowRig rig(studio());
    rig.registry->outputDevice = rig.audioEntry("Duet", false);
    for (const char* name : {"Keys", "Synth B"}) {
        VTMidiDevice* entry = rig.midiEntry(name, std::string(name) == "Keys");
        entry->active = true;
        rig.registry->getMidiDevice(entry)->active = true;
    }
    ASSERT_TRUE(rig.engine.startMidi());
    auto window = rig.openPreferences();
    EXPECT_EQ(window->_midiOutDevice->titleOfSelectedItem().utf8(), "Synth B");

    ASSERT_TRUE(rig.user.choose(window->_midiOutDevice, 1)); // "Synth A"
    EXPECT_EQ(rig.engine.m_midiOutDevice, rig.midiEntry("Synth A", false));
    {
        auto stored = rig.storedFile();
        EXPECT_EQ(stored->number("active", stored->midiRecord("Synth A", false)), 1);
        EXPECT_EQ(stored->number("active", stored->midiRecord("Synth B", false)), 0);
    }

    ASSERT_TRUE(rig.user.choose(window->_midiOutDevice, 0)); // "No Output"
    EXPECT_EQ(rig.engine.m_midiOutDevice, nullptr);
    EXPECT_FALSE(rig.midiEntry("Synth A", false)->active);
    EXPECT_FALSE(rig.midiEntry("Synth B", false)->active);
    auto stored = rig.storedFile();
    EXPECT_EQ(stored->number("active", stored->midiRecord("Synth A", false)), 0);
    EXPECT_EQ(stored->number("active", stored->midiRecord("Synth B", false)), 0);
    EXPECT_EQ(stored->number("active", stored->midiRecord("Keys", true)), 1);
    // The active input was closed and opened again.
    EXPECT_TRUE(rig.midiWorld.isConnected(rig.sources[0]));
    EXPECT_TRUE(rig.user.shown().empty());
}

TEST(PreferencesMidiInput, WithoutSourcesTheTableIsEmptyAndTheBoxStaysHidden)
{
    RigOptions options = studio();
    options.midiSources.clear();
    WindowRig rig(options);
    auto window = rig.openPreferences();

    EXPECT_EQ(window->_midiInTableView->numberOfRows(), 0);
    EXPECT_TRUE(window->_midiInBox->isHidden());
    EXPECT_FALSE(rig.user.selectRow(window->_midiInTableView, 0));
    EXPECT_TRUE(window->_midiInBox->isHidden());
}

namespace {

// One MIDI input control as the user changes it, and what lands on disk.
struct MidiInCase {
    const char* label;
    std::function<bool(Preferences&, vt::testing::ScriptedUser&)> change;
    const char* key;
    double stored;
    const char* stateImage; // of the source's row afterwards
};

void PrintTo(const MidiInCase& value, std::ostream* out)
{
    *out << value.label;
}

class PreferencesMidiInSetting : public ::testing::TestWithParam<MidiInCase> {};

} // namespace

TEST_P(PreferencesMidiInSetting, IsStoredInTheLayersEntryAndTheRecordAndWrittenToDisk)
{
    const MidiInCase& c = GetParam();
    WindowRig rig(studio());
    VTMidiDevice* pads = rig.midiEntry("Pads", true);
    VTMidiDevice* record = rig.registry->getMidiDevice(pads);
    record->active = true;
    pads->active = true;
    record->delay = 20;
    record->channel = 3;
    record->keyboardRangeRight = 100;
    VTMidiDevice* keys = rig.midiEntry("Keys", true);
    keys->active = false;
    rig.registry->getMidiDevice(keys)->active = false;
    auto window = rig.openPreferences();
    EXPECT_EQ(rig.user.cell(window->_midiInTableView, 0, "name").text, "Keys");
    EXPECT_EQ(rig.user.cell(window->_midiInTableView, 0, "state").imageName, "disabled.png");
    EXPECT_EQ(rig.user.cell(window->_midiInTableView, 1, "name").text, "Pads");
    EXPECT_EQ(rig.user.cell(window->_midiInTableView, 1, "state").imageName, "enabled.png");

    // Selecting the row shows its settings.
    ASSERT_TRUE(window->_midiInBox->isHidden());
    ASSERT_TRUE(rig.user.selectRow(window->_midiInTableView, 1));
    EXPECT_FALSE(window->_midiInBox->isHidden());
    EXPECT_EQ(window->_midiInActive->state(), NSControlStateValueOn);
    EXPECT_EQ(window->_midiInSync->state(), NSControlStateValueOff);
    EXPECT_EQ(window->_midiInDelay->stringValue().utf8(), "20");
    EXPECT_EQ(window->_midiInChannel->indexOfSelectedItem(), 3);
    EXPECT_EQ(window->_midiInKeyboardRangeLeft->titleOfSelectedItem().utf8(), "C-2");
    EXPECT_EQ(window->_midiInKeyboardRangeRight->titleOfSelectedItem().utf8(), "E6"); // 100 = 8 * 12 + 4

    ASSERT_TRUE(c.change(*window, rig.user));

    auto stored = rig.storedFile();
    plist_t storedPads = stored->midiRecord("Pads", true);
    ASSERT_NE(storedPads, nullptr);
    EXPECT_EQ(stored->number(c.key, storedPads), c.stored);
    // Nothing of it went to the other source.
    plist_t storedKeys = stored->midiRecord("Keys", true);
    EXPECT_EQ(stored->number("delay", storedKeys), 0);
    EXPECT_EQ(stored->number("active", storedKeys), 0);
    EXPECT_EQ(rig.user.cell(window->_midiInTableView, 1, "state").imageName, c.stateImage);
}

namespace {

MidiInCase clickCase(const char* label, NSButton* Preferences::*box, const char* key, double stored,
                     const char* image = "enabled.png")
{
    return {label, [box](Preferences& w, vt::testing::ScriptedUser& u) { return u.click(w.*box); }, key, stored, image};
}

MidiInCase chooseCase(const char* label, NSPopUpButton* Preferences::*popUp, NSInteger item, const char* key)
{
    return {label, [popUp, item](Preferences& w, vt::testing::ScriptedUser& u) { return u.choose(w.*popUp, item); },
            key, static_cast<double>(item), "enabled.png"};
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Controls, PreferencesMidiInSetting,
    ::testing::Values(clickCase("active off", &Preferences::_midiInActive, "active", 0, "disabled.png"),
                      clickCase("sync on", &Preferences::_midiInSync, "sync", 1, "enabledsync.png"),
                      clickCase("sync while playing", &Preferences::_midiInSyncWhilePlaying, "syncWhilePlaying", 1),
                      clickCase("control changes", &Preferences::_midiInCCMessages, "filterCCMessages", 1),
                      clickCase("program changes", &Preferences::_midiInProgramChange, "filterProgramChanges", 1),
                      MidiInCase{"delay up 3",
                                 [](Preferences& w, vt::testing::ScriptedUser& u) {
                                     return u.step(w._midiInDelayStepper, 3) &&
                                            w._midiInDelay->stringValue().utf8() == "23";
                                 },
                                 "delay", 23, "enabled.png"},
                      chooseCase("channel 16", &Preferences::_midiInChannel, 16, "channel"),
                      chooseCase("lowest key", &Preferences::_midiInKeyboardRangeLeft, 36, "keyboardRangeLeft"),
                      chooseCase("highest key", &Preferences::_midiInKeyboardRangeRight, 96, "keyboardRangeRight")));

namespace {

vt::platform::AudioServerReadout g_readout;

vt::platform::AudioServerReadout steeredReadout()
{
    return g_readout;
}

} // namespace

TEST(PreferencesAudioServer, TheLineShowsTheReadingAtOpeningAndFollowsItWhileOpen)
{
    WindowRig rig(studio());
    rig.registry->outputDevice = rig.audioEntry("Duet", false);
    g_readout = {};
    auto window = loadPreferencesWindow();
    window->setHostInterface(&rig.engine);
    window->setHostLib(&rig.probe.lib);
    window->setAudioLib(&rig.audio);
    window->setMidiLib(&rig.midi);
    window->setRegistry(rig.registry.get());
    window->setAudioServerReadoutSource(&steeredReadout);
    window->initialze();
    window->makeKeyAndOrderFront(nil);
    EXPECT_EQ(window->_audioServerStatus->stringValue().utf8(), "no audio server");
    EXPECT_FALSE(window->_audioServerStatus->isEditable());

    g_readout = {true, true, 48000, 256, 5.333, 12.0f, 2};
    const std::string expected = "48000 Hz · 256 frames · 5.3 ms · DSP 12 % · 2 dropouts";
    EXPECT_TRUE(rig.user.runUntil([&] { return window->_audioServerStatus->stringValue().utf8() == expected; }));
    window->close();
}

TEST(PreferencesMidiOutput, ADestinationThatCannotOpenIsReportedAndStaysChosen)
{
    WindowRig rig(studio());
    auto window = rig.openPreferences();
    rig.midiWorld.failOutputPorts(true);

    rig.user.pressAlertButton();
    ASSERT_TRUE(rig.user.choose(window->_midiOutDevice, 2)); // "Synth B"

    ASSERT_EQ(rig.user.shown().size(), 1u);
    EXPECT_EQ(rig.user.shown()[0].messageText, "Error");
    EXPECT_EQ(rig.user.shown()[0].informativeText, "Couldn't start Midi-Engine!");
    EXPECT_EQ(rig.user.shown()[0].style, NSAlertStyleCritical);
    auto stored = rig.storedFile();
    EXPECT_EQ(stored->number("active", stored->midiRecord("Synth B", false)), 1);
}
