// The player half as a person uses it: the window opened from the stored
// settings, samples loaded through the open panel and stepped through a
// folder, played once, looped or on the first MIDI event.
#include "PlayerWindowRig.h"
#include "Tempo.h"
#include "VTDecoderTesting.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

using namespace playertest;
using Kind = vt::testing::ShownModal::Kind;

namespace {

using PlayerWindow = PlayerWindowTest;

TEST_F(PlayerWindow, OpensFromTheStoredSettingsAndLoadsTheLastSampleSilently)
{
    startEngine();
    // 3 s at 44100 Hz: two bars at 160 BPM.
    rig->registry.samplePath = writeWav(folder.file("loop.wav"), 132300, 44100);
    rig->registry.sampleLooped = false;
    rig->registry.sampleStartByMidi = true;
    rig->registry.sampleCalcTempo = true;
    rig->registry.sampleRecordOption = 2;
    rig->registry.sampleRecordMaxBars = 3;
    rig->registry.openPlayerOnStartup = false;
    std::unique_ptr<Tempo> tempoWindow = loadTempoWindow();
    tempoWindow->setHostInterface(&rig->engine);
    tempoWindow->setRegistry(&rig->registry);
    window = loadPlayerRecorderWindow();
    window->setTempoWindow(tempoWindow.get());
    openWindow();

    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->level(), NSFloatingWindowLevel);
    EXPECT_TRUE(engine().m_playerDialogOpen);
    EXPECT_EQ(window->_sampleName->stringValue().utf8(), "loop.wav");
    EXPECT_EQ(window->_sampleLengthFrames, 132300u);
    EXPECT_EQ(window->_calculatedTempo->stringValue().utf8(), "160.00 BPM");
    EXPECT_EQ(engine().m_tempo.load(), 160.0);
    EXPECT_TRUE(engine().m_tempoChanged);
    EXPECT_EQ(tempoWindow->_tempoTextField->doubleValue(), 160.0);
    EXPECT_EQ(window->_playLoopedBtn->state(), NSControlStateValueOff);
    EXPECT_EQ(window->_startPlayingByMidiBtn->state(), NSControlStateValueOn);
    EXPECT_EQ(window->_openWndOnStartup->state(), NSControlStateValueOff);
    ASSERT_EQ(window->_recordStartOptionBtn->numberOfItems(), 4);
    EXPECT_EQ(window->_recordStartOptionBtn->titleOfSelectedItem().utf8(), "Start Recording on Play");
    ASSERT_EQ(window->_recordMaxLength->numberOfItems(), 19);
    EXPECT_EQ(window->_recordMaxLength->titleOfSelectedItem().utf8(), "4 Bar");
    EXPECT_EQ(window->_recordMaxLength->itemTitleAtIndex(18).utf8(), "16 min");
    EXPECT_EQ(window->_timefieldPlay->stringValue().utf8(), "0:00");
    EXPECT_EQ(window->_timefieldRecord->stringValue().utf8(), "0:00 / max:");
    // With option 2 recording starts from Play.
    EXPECT_FALSE(window->_startStopRecord->isEnabled());
    EXPECT_TRUE(window->_startStopPlay->isEnabled());

    // Closed and opened again with a stored sample that is gone: no message.
    window->orderOut(nil);
    EXPECT_FALSE(engine().m_playerDialogOpen);
    rig->registry.samplePath = folder.file("gone.wav");
    window->initialize();
    EXPECT_EQ(window->_sampleName->stringValue().utf8(), "");
    EXPECT_EQ(window->_sampleLengthFrames, 0u);
    EXPECT_TRUE(user.shown().empty());
}

TEST_F(PlayerWindow, AnInstrumentShowsAStoredOption3AsManuallyAndRecordsByHand)
{
    startEngine(RigOptions().instrument());
    rig->registry.sampleRecordOption = 3;
    openWindow();

    ASSERT_EQ(window->_recordStartOptionBtn->numberOfItems(), 2);
    EXPECT_EQ(window->_recordStartOptionBtn->titleOfSelectedItem().utf8(), "Manually");
    for (NSControl* control : std::initializer_list<NSControl*>{window->_sampleLoadBtn, window->_sampleLoadNextBtn,
                                                                window->_sampleLoadPrevBtn, window->_sampleResetBtn,
                                                                window->_startStopPlay, window->_calculateTempoBtn,
                                                                window->_playLoopedBtn, window->_startPlayingByMidiBtn})
        EXPECT_FALSE(control->isEnabled());
    // Without a player to start it from, the stored option works by hand;
    // the setting itself is kept.
    EXPECT_TRUE(window->_startStopRecord->isEnabled());
    EXPECT_TRUE(window->_recordMaxLength->isEnabled());
    EXPECT_EQ(rig->registry.sampleRecordOption, 3);
    ASSERT_TRUE(user.click(window->_startStopRecord));
    EXPECT_EQ(engine().m_recordStatus, 1);
    EXPECT_EQ(window->_startStopRecord->title().utf8(), "Stop Recording");
    ASSERT_TRUE(user.click(window->_startStopRecord));
    EXPECT_EQ(engine().m_recordStatus, 0);
    EXPECT_TRUE(user.shown().empty()); // nothing was recorded: no question
}

TEST_F(PlayerWindow, LoadingOffersCompressedFilesOnlyWithTheMediaClassAndRefusesWhatCannotLoad)
{
    startEngine();
    openWindow();
    user.setMediaAssetClassPresent(false);
    user.cancelPanel();
    ASSERT_TRUE(user.click(window->_sampleLoadBtn));
    user.setMediaAssetClassPresent(true);
    user.cancelPanel();
    ASSERT_TRUE(user.click(window->_sampleLoadBtn));
    ASSERT_EQ(user.shown().size(), 2u);
    EXPECT_EQ(user.shown()[0].allowedFileTypes, (std::vector<std::string>{"aif", "aiff", "wav"}));
    EXPECT_EQ(user.shown()[1].allowedFileTypes, (std::vector<std::string>{"aif", "aiff", "wav", "m4a", "mp3"}));
    user.forgetShown();

    // An MP3 of 2 s at 48000 Hz: one bar at 120 BPM, decoded at the output rate.
    const std::string beat = encodeTone(folder.file("beat.mp3"), 2.0, 48000);
    user.chooseInOpenPanel({beat});
    ASSERT_TRUE(user.click(window->_sampleLoadBtn));
    EXPECT_EQ(window->_sampleName->stringValue().utf8(), "beat.mp3");
    EXPECT_EQ(window->_samplePath, beat);
    EXPECT_EQ(window->_sampleLength, 2);
    VTVSTHostRegistry stored("Probe", false);
    stored.readStoredSettings({});
    EXPECT_EQ(stored.samplePath, beat);

    // Not a sound, and a sample longer than the bound (lowered to one
    // second here, 2^28 frames in use): the same message, the stored
    // sample kept.
    const std::string broken = folder.file("broken.wav");
    std::ofstream(broken) << "not a sound";
    vt::testing::DecodedLengthLimit limit(48000);
    for (const std::string& path : {broken, encodeTone(folder.file("long.mp3"), 2.0, 48000)}) {
        SCOPED_TRACE(path);
        user.forgetShown();
        user.chooseInOpenPanel({path});
        user.pressAlertButton();
        ASSERT_TRUE(user.click(window->_sampleLoadBtn));
        EXPECT_EQ(shownKinds(), (std::vector<Kind>{Kind::openPanel, Kind::alert}));
        EXPECT_EQ(user.shown()[1].messageText, "Error");
        EXPECT_EQ(user.shown()[1].informativeText, "Error loading Sample File!");
        EXPECT_EQ(user.shown()[1].style, NSAlertStyleCritical);
        EXPECT_EQ(window->_sampleName->stringValue().utf8(), "");
        EXPECT_EQ(window->_samplePath, "");
        EXPECT_EQ(engine().m_playFrames[0], nullptr);
        EXPECT_EQ(rig->registry.samplePath, beat);
    }
}

TEST_F(PlayerWindow, NextAndPreviousWalkTheFolderPassingOverWhatDoesNotLoadAndWrapAround)
{
    startEngine();
    openWindow();
    std::filesystem::create_directories(folder.path() / "sub");
    writeWav(folder.file("one.wav"), 1000, 48000);
    writeSample(folder.file("two.aiff"), SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1000, 48000);
    writeWav(folder.file("sub/three.wav"), 1000, 48000);
    std::ofstream(folder.file("broken.wav")) << "not a sound";
    // Never candidates: hidden, another case, not a sample.
    writeWav(folder.file(".hidden.wav"), 1000, 48000);
    writeWav(folder.file("LOUD.WAV"), 1000, 48000);
    std::ofstream(folder.file("notes.txt")) << "text";

    // The order is the platform's enumeration order.
    const std::set<std::string> candidates = {"one.wav", "two.aiff", "three.wav", "broken.wav"};
    std::vector<std::string> order;
    NSDirectoryEnumerator entries = NSFileManager::defaultManager()->enumeratorAtURL(
        NSURL::fileURLWithPath(folder.path().string()), NSDirectoryEnumerationSkipsHiddenFiles);
    for (NSURL entry = entries.nextObject(); entry; entry = entries.nextObject())
        if (candidates.contains(entry.lastPathComponent().utf8()))
            order.push_back(entry.path().utf8());
    ASSERT_EQ(order.size(), 4u);
    auto loads = [&](size_t i) { return order[i].find("broken") == std::string::npos; };
    // The loadable file after (before) i, or the wrap-around file.
    auto expected = [&](size_t i, bool next) -> std::string {
        if (next) {
            for (size_t j = i + 1; j < order.size(); ++j)
                if (loads(j))
                    return order[j];
            return order.front();
        }
        for (size_t j = i; j-- > 0;)
            if (loads(j))
                return order[j];
        return order.back();
    };

    for (bool next : {true, false}) {
        SCOPED_TRACE(next ? "next" : "previous");
        for (size_t start = 0; start < order.size(); ++start) {
            // A sample in the subfolder steps through that folder instead.
            if (!loads(start) || order[start].find("/sub/") != std::string::npos)
                continue;
            user.chooseInOpenPanel({order[start]});
            ASSERT_TRUE(user.click(window->_sampleLoadBtn));
            ASSERT_TRUE(user.click(next ? window->_sampleLoadNextBtn : window->_sampleLoadPrevBtn));
            const std::string want = expected(start, next);
            if (!loads(std::find(order.begin(), order.end(), want) - order.begin())) {
                // The wrap-around file does not load: silently nothing.
                EXPECT_EQ(window->_samplePath, "");
                continue;
            }
            EXPECT_EQ(window->_samplePath, want) << "from " << order[start];
            EXPECT_EQ(window->_sampleName->stringValue().utf8(), std::filesystem::path(want).filename().string());
            EXPECT_EQ(rig->registry.samplePath, want);
        }
    }
    // Only the open panels were shown: stepping never reports.
    for (const auto& modal : user.shown())
        EXPECT_EQ(modal.kind, Kind::openPanel);
}

TEST_F(PlayerWindow, StartedByMidiItWaitsForTheFirstEventThatReachesThePlugin)
{
    startEngine();
    rig->registry.sampleStartByMidi = true;
    rig->registry.samplePath = writeWav(folder.file("loop.wav"), 48000, 48000);
    openWindow();
    ASSERT_TRUE(user.click(window->_startStopPlay));
    EXPECT_EQ(window->_startStopPlay->title().utf8(), "Waiting");
    EXPECT_FALSE(window->_sampleLoadBtn->isEnabled());
    render(kBuffer);
    tick();
    EXPECT_EQ(window->_startStopPlay->title().utf8(), "Waiting");
    EXPECT_EQ(engine().m_numPlayerPlayedFrames, 0u);

    ASSERT_TRUE(engine().queueMidi(0x90, 60, 100));
    render(kBuffer);
    tick();
    EXPECT_EQ(window->_startStopPlay->title().utf8(), "Stop");
    EXPECT_EQ(engine().m_numPlayerPlayedFrames, kBuffer);

    ASSERT_TRUE(user.click(window->_startStopPlay));
    EXPECT_EQ(window->_startStopPlay->title().utf8(), "Play");
    EXPECT_EQ(engine().m_playerPlayStatus, 0);
    EXPECT_TRUE(window->_sampleLoadBtn->isEnabled());
}

struct EndCase {
    const char* label;
    int fileRate;
    bool looped;
    unsigned rendered;
    bool stillPlaying;
};

void PrintTo(const EndCase& value, std::ostream* out)
{
    *out << value.label;
}

class PlayerEnd : public PlayerWindowTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(PlayerEnd, AnUnloopedSampleStopsItselfAtItsEndALoopedOneRunsOn)
{
    const EndCase& c = GetParam();
    startEngine();
    rig->registry.sampleLooped = c.looped;
    rig->registry.samplePath = writeWav(folder.file("hit.wav"), 2000, c.fileRate);
    openWindow();
    ASSERT_TRUE(user.click(window->_startStopPlay));
    render(c.rendered);
    tick();
    EXPECT_EQ(window->_runningPlay, c.stillPlaying);
    EXPECT_EQ(window->_startStopPlay->title().utf8(), c.stillPlaying ? "Stop" : "Play");
    EXPECT_EQ(engine().m_playerPlayStatus, c.stillPlaying ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, PlayerEnd,
                         ::testing::Values(
                             // 2000 frames end within the fourth buffer.
                             EndCase{"before its end", 48000, false, 1536, true},
                             EndCase{"at its end", 48000, false, 2048, false},
                             EndCase{"looped", 48000, true, 8192, true},
                             // At 44100 Hz the 2000 frames last 2177 output frames.
                             EndCase{"slower file before its end", 44100, false, 2048, true},
                             EndCase{"slower file at its end", 44100, false, 2560, false}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(PlayerWindow, EverySettingIsWrittenAtOnceAndTheOriginIsKeptAcrossClosing)
{
    startEngine();
    openWindow();
    ASSERT_TRUE(user.click(window->_playLoopedBtn)); // effect default: on
    ASSERT_TRUE(user.click(window->_startPlayingByMidiBtn));
    ASSERT_TRUE(user.click(window->_calculateTempoBtn));
    ASSERT_TRUE(user.click(window->_openWndOnStartup));
    ASSERT_TRUE(user.choose(window->_recordStartOptionBtn, 1));
    ASSERT_TRUE(user.choose(window->_recordMaxLength, 14));
    VTVSTHostRegistry stored("Probe", false);
    stored.readStoredSettings({});
    EXPECT_FALSE(stored.sampleLooped);
    EXPECT_TRUE(stored.sampleStartByMidi);
    EXPECT_FALSE(stored.sampleCalcTempo);
    EXPECT_FALSE(stored.openPlayerOnStartup);
    EXPECT_EQ(stored.sampleRecordOption, 1);
    EXPECT_EQ(stored.sampleRecordMaxBars, 14);

    window->setFrameOrigin(NSMakePoint(120, 340));
    window->orderOut(nil);
    int x = 0, y = 0;
    VTVSTHostRegistry reread("Probe", false);
    ASSERT_TRUE(reread.getkeyvalue("playerPositionX", &x));
    ASSERT_TRUE(reread.getkeyvalue("playerPositionY", &y));
    EXPECT_EQ(x, 120);
    EXPECT_EQ(y, 340);
    window->initialize(); // centred again
    window->setPosition();
    EXPECT_EQ(window->frame().origin.x, 120);
    EXPECT_EQ(window->frame().origin.y, 340);
}

TEST_F(PlayerWindow, WithoutAnOutputRateNothingDividesByZero)
{
    startEngineWithoutStream(0);
    rig->registry.samplePath = writeWav(folder.file("loop.wav"), 88200, 44100);
    rig->registry.sampleRecordOption = 0;
    openWindow();
    EXPECT_EQ(window->_sampleLengthFrames, 88200u);
    EXPECT_EQ(window->_sampleLength, 0);
    // The tempo needs only the file's own rate.
    EXPECT_EQ(window->_calculatedTempo->stringValue().utf8(), "120.00 BPM");

    ASSERT_TRUE(user.click(window->_startStopPlay));
    EXPECT_EQ(engine().m_counterInc, 0.0);
    enginetest::Stereo output(kBuffer);
    rig->cycle(output);
    tick();
    EXPECT_EQ(window->_timefieldPlay->stringValue().utf8(), "0:00");

    // No frames a bar, no buffer: the recording is marked without one,
    // and its length of 0 ends it at the next tick, with nothing to save.
    ASSERT_TRUE(user.click(window->_startStopRecord));
    EXPECT_TRUE(window->_runningRecord);
    EXPECT_EQ(window->_recordLengthFrames, 0u);
    EXPECT_EQ(engine().m_recordFrames[0], nullptr);
    tick();
    EXPECT_FALSE(window->_runningRecord);
    EXPECT_EQ(window->_startStopRecord->title().utf8(), "Start Recording");
    EXPECT_TRUE(user.shown().empty());
}

} // namespace
