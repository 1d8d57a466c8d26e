// The application around the probe plug-in, on the offscreen platform:
// this program's bundle is named "Pyrole" (a plug-in whose transport runs
// from launch) and holds the probe as Contents/PlugIns/Pyrole.vst.
#include "AppTestSupport.h"
#include "PlayerRecorder.h"
#include "ProbeState.h"

#include <algorithm>

using namespace apptest;

namespace {

class ProbeApp : public KindraApp {
protected:
    probe::ProbeState& probe() { return *probe::stateOf(effect()); }
    void makeInstrument() { effect()->flags |= effFlagsIsSynth; }

    // The requests the probe received so far, as the spy records them.
    std::vector<Request> probeRequests()
    {
        std::vector<Request> requests;
        for (int i = 0; i < probe().dispatches.size(); ++i) {
            const probe::DispatchCall& call = probe().dispatches.items[i];
            requests.push_back({call.opcode, call.index, call.value, call.opt,
                                call.opcode == effCanDo ? std::string(call.text) : std::string()});
        }
        return requests;
    }
    std::vector<Request> keyRequests()
    {
        std::vector<Request> requests = probeRequests();
        std::erase_if(requests,
                      [](const Request& r) { return r.opcode != effEditKeyDown && r.opcode != effEditKeyUp; });
        return requests;
    }
};

// The requests the window's start-up, activation and shut-down send; the
// loader's own opening request and the engine's suspend on stopping belong
// to the hosting library's protocol and are left out.
std::vector<Request> windowProtocol(std::vector<Request> requests)
{
    std::erase_if(requests, [](const Request& r) {
        static const VstInt32 kept[] = {effClose,       effSetSampleRate, effSetBlockSize, effMainsChanged,
                                        effEditGetRect, effEditOpen,      effEditClose,    effEditIdle,
                                        effGetChunk,    effSetChunk,      effCanDo};
        const bool listed = std::find(std::begin(kept), std::end(kept), r.opcode) != std::end(kept);
        return !listed || (r.opcode == effMainsChanged && r.value == 0);
    });
    return requests;
}

struct QuitOnceAudioRuns : NSObject {
    PluginWindow* window = nullptr;
    void check(NSTimer*)
    {
        if (window->audioStarted())
            NSApp->terminate(nil);
    }
};

TEST_F(ProbeApp, AWholeRunSendsTheStartUpActivationAndShutDownRequestsInOrderAndNeverAsksForTheEditorOffscreen)
{
    useContentFolder();
    writeBytes(chunkFile(), "\x07\x08\x09");
    launch();
    ASSERT_NE(effect(), nullptr);
    makeInstrument();
    EXPECT_EQ(probe().chunkReceived, (std::vector<unsigned char>{7, 8, 9}));
    probe().chunkToGive = {1, 2, 3, 4};
    // Without a display: the fixed editor area plus 28.
    EXPECT_EQ(window().frame().size.width, 600);
    EXPECT_EQ(window().frame().size.height, 428);
    EXPECT_EQ(window().title().utf8(), "Pyrole");
    EXPECT_FALSE(window().editorOpen());
    std::vector<Request> requests = probeRequests();

    // The run: the first activation starts audio on the system default
    // device (256 frames at 48 kHz); once it runs, Quit.
    RequestSpy spy(effect());
    QuitOnceAudioRuns quitter;
    quitter.window = &window();
    auto poll = NSTimer::scheduledTimerWithTimeInterval(0.01, &quitter, &QuitOnceAudioRuns::check, true);
    GiveUp giveUp;
    auto limit = NSTimer::scheduledTimerWithTimeInterval(30.0, &giveUp, &GiveUp::fire, false);
    NSApp->run();
    EXPECT_FALSE(giveUp.fired);
    requests.insert(requests.end(), spy.requests.begin(), spy.requests.end());

    const std::vector<Request> expected = {
        {effCanDo, 0, 0, 0.0f, "forceCocoaMode"},
        {effSetChunk, 0, 3, 0.0f, ""},
        {effCanDo, 0, 0, 0.0f, "receiveVstMidiEvent"},
        {effCanDo, 0, 0, 0.0f, "sendVstMidiEvent"},
        {effSetBlockSize, 0, 256, 0.0f, ""},
        {effSetSampleRate, 0, 0, 48000.0f, ""},
        {effMainsChanged, 0, 1, 0.0f, ""},
        {effGetChunk, 0, 0, 0.0f, ""},
        {effClose, 0, 0, 0.0f, ""},
    };
    EXPECT_EQ(windowProtocol(requests), expected);
    EXPECT_EQ(readBytes(chunkFile()), std::string("\x01\x02\x03\x04"));
    EXPECT_EQ(window().getHostLib()->m_plugin, nullptr);
}

TEST(TransportAtLaunch, RunsForTheSixNamedPluginsOnly)
{
    for (const char* name : {"Pyrole", "Marrowen", "Strandel", "Vossik", "Kettlon", "Sornel"})
        EXPECT_TRUE(pluginStartsTransportAtLaunch(name)) << name;
    for (const char* name : {"Kindra", "pyrole", "Pyrole ", ""})
        EXPECT_FALSE(pluginStartsTransportAtLaunch(name)) << name;
}

struct TransportCase {
    const char* label;
    bool storedInput; // a stored MIDI input "Clock In" that is plugged in
    bool active;
    bool sync;
    bool playing;
};

void PrintTo(const TransportCase& c, std::ostream* out)
{
    *out << c.label;
}

class ProbeAppTransport : public ProbeApp, public ::testing::WithParamInterface<TransportCase> {};

TEST_P(ProbeAppTransport, StartsAtLaunchUnlessAnActiveInputFollowsMidiClock)
{
    const TransportCase& c = GetParam();
    if (c.storedInput) {
        midiWorld.addSource(vt::testing::MidiName::text("Clock In"));
        storeMidiInput(0, "Clock In", c.active, c.sync);
    }
    launch();
    ASSERT_NE(effect(), nullptr);
    EXPECT_EQ(window().hostInterface().m_playStatus.load(), c.playing);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProbeAppTransport,
                         ::testing::Values(TransportCase{"no MIDI input", false, false, false, true},
                                           TransportCase{"an active input with sync", true, true, true, false},
                                           TransportCase{"an active input without sync", true, true, false, true},
                                           TransportCase{"an inactive input with sync", true, false, true, true}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

struct ActivationCase {
    const char* label;
    bool instrument;
    bool microphoneGranted;
    bool anyAudioDevice;
    int microphoneRequests;
    bool audioStarts;
};

void PrintTo(const ActivationCase& c, std::ostream* out)
{
    *out << c.label;
}

class ProbeAppActivation : public ProbeApp, public ::testing::WithParamInterface<ActivationCase> {};

TEST_P(ProbeAppActivation, StartsAudioAtOnceForAnInstrumentAndAfterTheMicrophoneAnswerForAnEffect)
{
    const ActivationCase& c = GetParam();
    if (!c.anyAudioDevice) {
        audioWorld.removeDevice(studio);
        audioWorld.hideNullDevice();
    }
    user.setMicrophoneAccess(c.microphoneGranted);
    launch();
    ASSERT_NE(effect(), nullptr);
    if (c.instrument)
        makeInstrument();
    if (!c.audioStarts)
        user.pressAlertButton();

    activate();
    // An instrument starts on the main thread at once; an effect waits.
    EXPECT_EQ(window().audioStarted(), c.instrument && c.audioStarts);
    EXPECT_EQ(user.microphoneRequests(), c.microphoneRequests);
    if (c.audioStarts) {
        EXPECT_TRUE(user.runUntil([&] { return window().audioStarted(); }));
        EXPECT_TRUE(window().hostInterface().m_audioStarted.load());
    } else {
        ASSERT_TRUE(user.runUntil([&] { return !user.shown().empty(); }));
        const vt::testing::ShownModal& shown = user.shown()[0];
        EXPECT_EQ(shown.messageText, "Error");
        EXPECT_EQ(shown.informativeText, "Couldn't start Audioengine!");
        EXPECT_EQ(shown.style, NSAlertStyleCritical);
        EXPECT_FALSE(window().audioStarted());
    }
    // Later activations change nothing.
    activate();
    EXPECT_EQ(user.microphoneRequests(), c.microphoneRequests);
    user.setMicrophoneAccess(true);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProbeAppActivation,
    ::testing::Values(ActivationCase{"an instrument", true, false, true, 0, true},
                      ActivationCase{"an effect with microphone access", false, true, true, 1, true},
                      ActivationCase{"an effect denied the microphone", false, false, true, 1, false},
                      ActivationCase{"an instrument without any audio device", true, true, false, 0, false}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

struct StoredAudioCase {
    const char* label;
    int deviceType;
    const char* storedOutput;
    double expectedTempo;
    const char* outputAtLaunch; // "" for none
};

void PrintTo(const StoredAudioCase& c, std::ostream* out)
{
    *out << c.label;
}

class ProbeAppStoredAudio : public ProbeApp, public ::testing::WithParamInterface<StoredAudioCase> {};

TEST_P(ProbeAppStoredAudio, ReadsDevicesAndTempoOnlyForCoreAudioAndFallsBackToTheDefaultsWhichAreStored)
{
    const StoredAudioCase& c = GetParam();
    storeInt("AudioDeviceType", c.deviceType);
    storeString("AudioDeviceOut Name", c.storedOutput);
    storeDouble("Tempo", 98.5);
    launch();
    ASSERT_NE(effect(), nullptr);
    makeInstrument();
    VTVSTHostRegistry* registry = window().registry();
    EXPECT_EQ(registry->tempo.load(), c.expectedTempo);
    EXPECT_EQ(window().hostInterface().m_tempo.load(), c.expectedTempo);
    EXPECT_EQ(registry->outputDevice != nullptr ? registry->outputDevice->name : "", c.outputAtLaunch);
    // The idle tick shows the tempo in the title.
    const std::string title = "Pyrole | Tempo: " + std::string(c.expectedTempo == 120.0 ? "120.00" : "98.50");
    EXPECT_TRUE(user.runUntil([&] { return window().title().utf8() == title; })) << window().title().utf8();

    // Whatever was stored, audio runs on the system default device, which
    // is stored once it runs.
    activate();
    EXPECT_TRUE(window().audioStarted());
    ASSERT_NE(registry->outputDevice, nullptr);
    EXPECT_EQ(registry->outputDevice->name, "Studio Interface");
    EXPECT_EQ(storedString("AudioDeviceOut Name"), "Studio Interface");
}

INSTANTIATE_TEST_SUITE_P(Cases, ProbeAppStoredAudio,
                         ::testing::Values(
                             // Another driver family's settings: not one of them is read.
                             StoredAudioCase{"AudioDeviceType 0", 0, "Studio Interface", 120.0, ""},
                             StoredAudioCase{"a stored device that is plugged in", 16, "Studio Interface", 98.5,
                                             "Studio Interface"},
                             // The first start fails, the automatic choice takes the defaults.
                             StoredAudioCase{"a stored device that is gone", 16, "USB Box", 98.5, ""}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(ProbeApp, AShutDownWithAChunkOfSizeZeroLeavesTheSavedStateUntouched)
{
    useContentFolder();
    writeBytes(chunkFile(), "earlier state");
    launch();
    ASSERT_NE(effect(), nullptr);
    probe().chunkToGive.clear();
    quit();
    EXPECT_EQ(readBytes(chunkFile()), "earlier state");
    EXPECT_EQ(effect(), nullptr);
}

// ------------------------------------------------------------------ keys

struct KeyCase {
    const char* label;
    const char* key;
    bool editorHasKeyboard;
    VstIntPtr pluginAnswer;
    std::vector<Request> requests; // effEditKeyDown as the plug-in receives it
    bool handled;                  // false: the window's inherited handling
    int heldNote;                  // -1: no note
    bool transportToggles;
};

void PrintTo(const KeyCase& c, std::ostream* out)
{
    *out << c.label;
}

class ProbeAppKeys : public ProbeApp, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(ProbeAppKeys, GoToTheEditorFirstThenTheTransportThenTheNotesThenTheWindow)
{
    const KeyCase& c = GetParam();
    launch();
    ASSERT_NE(effect(), nullptr);
    probe().wantsKeyboard = c.editorHasKeyboard;
    probe().keyAnswer = c.pluginAnswer;
    VTVSTHostInterface& engine = window().hostInterface();
    const bool playingBefore = engine.m_playStatus.load();

    EXPECT_EQ(user.keyDown(&window(), c.key), c.handled);

    EXPECT_EQ(keyRequests(), c.requests);
    EXPECT_EQ(engine.m_playStatus.load(), c.transportToggles ? !playingBefore : playingBefore);
    for (int note = 0; note < 128; ++note)
        EXPECT_EQ(engine.m_keys[note], note == c.heldNote) << "note " << note;
}

constexpr VstInt32 down = effEditKeyDown;

INSTANTIATE_TEST_SUITE_P(
    Cases, ProbeAppKeys,
    ::testing::Values(
        KeyCase{"the editor has the keyboard", "A", true, 0, {}, false, -1, false},
        KeyCase{"the editor takes the space bar", "Space", false, 1, {{down, 32, 7, 0.0f, ""}}, true, -1, false},
        KeyCase{"the space bar toggles the transport", "Space", false, 0, {{down, 32, 7, 0.0f, ""}}, true, -1, true},
        // "D" at octave 4: note 48.
        KeyCase{"a letter plays its note", "D", false, 0, {{down, 100, 0, 0.0f, ""}}, true, 48, false},
        KeyCase{"the editor takes a letter", "D", false, 1, {{down, 100, 0, 0.0f, ""}}, true, -1, false},
        KeyCase{
            "Shift+A as index 97 with modifiers 1", "Shift+A", false, 0, {{down, 97, 0, 1.0f, ""}}, false, -1, false},
        KeyCase{"Shift+D plays nothing", "Shift+D", false, 0, {{down, 100, 0, 1.0f, ""}}, false, -1, false},
        KeyCase{"Command+D plays nothing", "Ctrl+D", false, 0, {{down, 100, 0, 8.0f, ""}}, false, -1, false},
        KeyCase{"Option+D with modifiers 2", "Alt+D", false, 0, {{down, 100, 0, 2.0f, ""}}, true, 48, false},
        KeyCase{"the up arrow as virtual key 12", "Up", false, 0, {{down, 0xF700, 12, 0.0f, ""}}, false, -1, false},
        KeyCase{"return as virtual key 0", "Return", false, 0, {{down, 13, 0, 0.0f, ""}}, false, -1, false},
        KeyCase{"escape", "Esc", false, 0, {{down, 27, 6, 0.0f, ""}}, false, -1, false},
        KeyCase{"backspace", "Backspace", false, 0, {{down, 8, 1, 0.0f, ""}}, false, -1, false},
        KeyCase{"F1", "F1", false, 0, {{down, 0xF704, 40, 0.0f, ""}}, false, -1, false},
        KeyCase{"F12", "F12", false, 0, {{down, 0xF70F, 51, 0.0f, ""}}, false, -1, false}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(ProbeApp, AKeyGoingUpReachesTheEditorAsKeyUpAndEndsItsNote)
{
    launch();
    ASSERT_NE(effect(), nullptr);
    VTVSTHostInterface& engine = window().hostInterface();
    EXPECT_TRUE(user.keyDown(&window(), "D"));
    EXPECT_TRUE(engine.m_keys[48]);
    EXPECT_TRUE(user.keyUp(&window(), "D"));
    EXPECT_FALSE(engine.m_keys[48]);
    // The space bar going up toggles nothing.
    const bool playing = engine.m_playStatus.load();
    EXPECT_TRUE(user.keyUp(&window(), "Space"));
    EXPECT_EQ(engine.m_playStatus.load(), playing);
    const std::vector<Request> expected = {
        {effEditKeyDown, 100, 0, 0.0f, ""}, {effEditKeyUp, 100, 0, 0.0f, ""}, {effEditKeyUp, 32, 7, 0.0f, ""}};
    EXPECT_EQ(keyRequests(), expected);
}

// ------------------------------------------------------------------ menu

TEST_F(ProbeApp, TheMenuCallsThePluginsCommandsAndItsKeyEquivalentsWork)
{
    launch();
    ASSERT_NE(effect(), nullptr);
    struct Command {
        NSMenuItem* item;
        const char* keys; // "" without a key equivalent
        int probe::ProbeState::*calls;
    };
    const Command commands[] = {
        {app->undoItem, "Ctrl+Z", &probe::ProbeState::undoCalls},
        {app->redoItem, "Ctrl+Shift+Z", &probe::ProbeState::redoCalls},
        {app->aboutItem, "", &probe::ProbeState::aboutCalls},
        {app->helpItem, "", &probe::ProbeState::helpCalls},
        {app->updatesItem, "", &probe::ProbeState::updateCalls},
    };
    for (const Command& command : commands) {
        SCOPED_TRACE(command.item->title().utf8());
        EXPECT_TRUE(user.chooseMenuItem(command.item));
        EXPECT_EQ(probe().*command.calls, 1);
        if (command.keys[0] != '\0') {
            EXPECT_TRUE(user.keyDown(&window(), command.keys));
            EXPECT_EQ(probe().*command.calls, 2);
        }
    }
    // The bounce is offered (its own tests choose it).
    EXPECT_EQ(app->bounceItem->title().utf8(), "Bounce…");
    EXPECT_TRUE(app->bounceItem->isEnabled());
}

TEST_F(ProbeApp, AnotherMakersPluginNeverHasTheWordsAfterItsRecordCalled)
{
    launch();
    ASSERT_NE(effect(), nullptr);
    probe().vendor = "Another Maker";
    // Were the entry read, the keys would go to the window's own handling.
    probe().wantsKeyboard = true;

    EXPECT_TRUE(user.keyDown(&window(), "D"));
    EXPECT_TRUE(window().hostInterface().m_keys[48]);
    for (NSMenuItem* item : {app->undoItem, app->redoItem, app->aboutItem, app->helpItem, app->updatesItem})
        EXPECT_TRUE(user.chooseMenuItem(item));
    const probe::ProbeState& state = probe();
    EXPECT_EQ(state.undoCalls + state.redoCalls + state.aboutCalls + state.helpCalls + state.updateCalls, 0);
}

TEST_F(ProbeApp, ThePlayerWindowOpensAtStartUpWithTheSharedObjectsAndTheMenuClosesAndReopensIt)
{
    // An effect opens the player at start-up by default; its origin was
    // stored by an earlier run.
    storeInt("playerPositionX", 40);
    storeInt("playerPositionY", 60);
    launch();
    ASSERT_NE(effect(), nullptr);
    PlayerRecorder* player = window()._playerRecorderWindow;
    ASSERT_NE(player, nullptr);
    EXPECT_FALSE(player->isVisible());
    activate();
    ASSERT_TRUE(user.runUntil([&] { return player->isVisible(); }));
    EXPECT_TRUE(window().hostInterface().m_playerDialogOpen.load());
    EXPECT_EQ(player->frame().origin.x, 40);
    EXPECT_EQ(player->frame().origin.y, 60);
    // Wired to this engine: the recorder fills its buffers at this rate.
    EXPECT_TRUE(user.click(player->_startStopRecord));
    EXPECT_EQ(window().hostInterface().m_maxRecordFrames, 96000u); // one bar at 120 BPM, 48000 Hz
    EXPECT_TRUE(user.click(player->_startStopRecord));

    EXPECT_TRUE(user.chooseMenuItem(app->playerRecorderItem));
    EXPECT_FALSE(player->isVisible());
    EXPECT_FALSE(window().hostInterface().m_playerDialogOpen.load());
    EXPECT_TRUE(user.keyDown(&window(), "Ctrl+P"));
    EXPECT_TRUE(player->isVisible());
    EXPECT_TRUE(window().hostInterface().m_playerDialogOpen.load());
}

} // namespace
