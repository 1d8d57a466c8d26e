// The recorder half: lengths and the buffer bound, the take that ends by
// itself, recording together with the player, the save question and the
// save loop, and a saved take read back by libsndfile.
#include "PlayerWindowRig.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

using namespace playertest;
using Kind = vt::testing::ShownModal::Kind;

namespace {

using Recorder = PlayerWindowTest;

struct LengthCase {
    int index;
    unsigned length;
    unsigned capacity;
};

class RecordLength : public PlayerWindowTest, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(RecordLength, FollowsTheChosenLengthWithinTheFiveMinuteBuffer)
{
    startEngine();
    openWindow();
    ASSERT_TRUE(user.choose(window->_recordMaxLength, GetParam().index));
    ASSERT_TRUE(user.click(window->_startStopRecord));
    EXPECT_EQ(window->_recordLengthFrames, GetParam().length);
    EXPECT_EQ(engine().m_maxRecordFrames, GetParam().capacity);
    EXPECT_EQ(engine().m_recordStatus, 1);
    EXPECT_FALSE(window->_recordStartOptionBtn->isEnabled());
    ASSERT_TRUE(user.click(window->_startStopRecord)); // nothing recorded: no question
}

INSTANTIATE_TEST_SUITE_P(Cases, RecordLength,
                         // At 120 BPM and 48000 Hz a bar of four beats is 96000 frames; the
                         // buffer holds 300 x 48000 frames.
                         ::testing::Values(LengthCase{0, 96000, 96000}, LengthCase{3, 384000, 384000},
                                           LengthCase{14, 2880000, 2880000}, LengthCase{17, 23040000, 14400000}),
                         [](const auto& info) { return "index" + std::to_string(info.param.index); });

TEST_F(Recorder, OneBarStopsByItselfAtTheNextTickAndNoDiscardsTheTake)
{
    startEngine();
    openWindow();
    ASSERT_TRUE(user.click(window->_startStopRecord));
    EXPECT_EQ(window->_startStopRecord->title().utf8(), "Stop Recording");
    render(96000 - kBuffer); // 187 buffers, 95744 frames
    tick();
    EXPECT_TRUE(window->_runningRecord);
    EXPECT_EQ(window->_timefieldRecord->stringValue().utf8(), "0:02 / max:");

    render(kBuffer);
    EXPECT_EQ(engine().m_numRecordedFrames, 96000u); // the buffer holds one bar exactly
    user.answerNotification(kCFUserNotificationAlternateResponse);
    tick();
    ASSERT_EQ(shownKinds(), std::vector<Kind>{Kind::notification});
    const auto& question = user.shown()[0];
    EXPECT_EQ(question.messageText, "Veltrane");
    EXPECT_EQ(question.informativeText, "Would you like to save the recording?");
    EXPECT_EQ(question.buttons, (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(question.level, static_cast<CFOptionFlags>(kCFUserNotificationNoteAlertLevel));
    EXPECT_FALSE(window->_runningRecord);
    EXPECT_EQ(engine().m_recordStatus, 0);
    EXPECT_EQ(engine().m_recordFrames[0], nullptr);
    EXPECT_EQ(engine().m_recordFrames[1], nullptr);
    EXPECT_EQ(window->_startStopRecord->title().utf8(), "Start Recording");
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST_F(Recorder, EightMinutesFillTheBufferAndThenWaitForTheUser)
{
    startEngine();
    rig->registry.sampleRecordMaxBars = 17;
    openWindow();
    ASSERT_TRUE(user.click(window->_startStopRecord));
    render(14400000 + kBuffer);
    tick();
    EXPECT_EQ(engine().m_numRecordedFrames, 14400000u);
    EXPECT_TRUE(window->_runningRecord);
    EXPECT_EQ(engine().m_recordStatus, 1);
    EXPECT_EQ(window->_timefieldRecord->stringValue().utf8(), "5:00 / max:");
    EXPECT_TRUE(user.shown().empty());

    user.answerNotification(kCFUserNotificationAlternateResponse);
    ASSERT_TRUE(user.click(window->_startStopRecord));
    EXPECT_EQ(shownKinds(), std::vector<Kind>{Kind::notification});
    EXPECT_EQ(engine().m_recordFrames[0], nullptr);
}

struct WithPlayCase {
    int option;
    bool playStopEndsRecording;
};

class RecordWithPlay : public PlayerWindowTest, public ::testing::WithParamInterface<WithPlayCase> {};

TEST_P(RecordWithPlay, PlayStartsPlayerAndRecorderInTheSameCycle)
{
    startEngine();
    rig->registry.sampleRecordOption = GetParam().option;
    rig->registry.samplePath = writeWav(folder.file("loop.wav"), 48000, 48000);
    openWindow();
    EXPECT_FALSE(window->_startStopRecord->isEnabled());

    ASSERT_TRUE(user.click(window->_startStopPlay));
    EXPECT_TRUE(window->_runningRecord);
    // Neither runs before the cycle that starts both.
    EXPECT_EQ(engine().m_playerPlayStatus, 0);
    EXPECT_EQ(engine().m_recordStatus, 0);
    EXPECT_TRUE(engine().m_playerRecorderStatusChanged);
    render(kBuffer);
    EXPECT_EQ(engine().m_playerPlayStatus, 1);
    EXPECT_EQ(engine().m_recordStatus, 1);
    EXPECT_EQ(engine().m_numPlayerPlayedFrames, kBuffer);
    EXPECT_EQ(engine().m_numRecordedFrames, kBuffer);
    tick();
    EXPECT_EQ(window->_startStopRecord->title().utf8(), "Stop Recording");
    // Option 2 lets the record button stop; option 3 leaves it to Play.
    EXPECT_EQ(window->_startStopRecord->isEnabled(), !GetParam().playStopEndsRecording);

    if (GetParam().playStopEndsRecording)
        user.answerNotification(kCFUserNotificationAlternateResponse);
    ASSERT_TRUE(user.click(window->_startStopPlay));
    EXPECT_EQ(engine().m_playerPlayStatus, 0);
    EXPECT_EQ(window->_runningRecord, !GetParam().playStopEndsRecording);
    EXPECT_EQ(engine().m_recordStatus, GetParam().playStopEndsRecording ? 0 : 1);
    if (!GetParam().playStopEndsRecording) {
        user.answerNotification(kCFUserNotificationAlternateResponse);
        ASSERT_TRUE(user.click(window->_startStopRecord));
    }
    EXPECT_EQ(shownKinds(), std::vector<Kind>{Kind::notification});
}

INSTANTIATE_TEST_SUITE_P(Cases, RecordWithPlay, ::testing::Values(WithPlayCase{2, false}, WithPlayCase{3, true}),
                         [](const auto& info) { return "option" + std::to_string(info.param.option); });

TEST_F(Recorder, ReopeningKeepsTheTakeAndClosingStopsPlayerAndRecordingAndAsks)
{
    startEngine();
    rig->registry.samplePath = writeWav(folder.file("loop.wav"), 48000, 48000);
    openWindow();
    ASSERT_TRUE(user.click(window->_startStopPlay));
    ASSERT_TRUE(user.click(window->_startStopRecord));
    render(4 * kBuffer);
    // Opened again from the menu while open: the take and the player go on.
    window->initialize();
    EXPECT_TRUE(window->_runningPlay);
    EXPECT_TRUE(window->_runningRecord);
    render(kBuffer);
    EXPECT_EQ(engine().m_numRecordedFrames, 5 * kBuffer);

    user.answerNotification(kCFUserNotificationAlternateResponse);
    window->orderOut(nil);
    EXPECT_EQ(shownKinds(), std::vector<Kind>{Kind::notification});
    EXPECT_FALSE(window->_runningPlay);
    EXPECT_FALSE(window->_runningRecord);
    EXPECT_EQ(engine().m_playerPlayStatus, 0);
    EXPECT_EQ(engine().m_recordStatus, 0);
    EXPECT_FALSE(engine().m_playerDialogOpen);
    EXPECT_EQ(window->_idleTimer, nullptr);
}

TEST_F(Recorder, ATakeIsKeptUntilSavedAndReadsBackSampleForSample)
{
    startEngine();
    // A float sample that goes past full scale, played into the effect.
    const std::string loud = writeSample(folder.file("loud.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 4800, 48000,
                                         [](unsigned i, int c) { return 1.5f * std::sin(0.01f * i + c); });
    rig->registry.samplePath = loud;
    openWindow();
    ASSERT_TRUE(user.click(window->_startStopPlay));
    ASSERT_TRUE(user.click(window->_startStopRecord));
    render(10 * kBuffer);
    const unsigned frames = engine().m_numRecordedFrames;
    ASSERT_EQ(frames, 10 * kBuffer);
    const std::vector<float> recordedLeft(engine().m_recordFrames[0], engine().m_recordFrames[0] + frames);
    const std::vector<float> recordedRight(engine().m_recordFrames[1], engine().m_recordFrames[1] + frames);
    ASSERT_GT(*std::max_element(recordedLeft.begin(), recordedLeft.end()), 1.0f);

    // Yes, then the panel cancelled: asked again. Yes, a folder that is
    // not there: the error and the panel again. Then a real place.
    const std::string take = folder.file("take.aiff");
    user.answerNotification(kCFUserNotificationDefaultResponse);
    user.cancelPanel();
    user.answerNotification(kCFUserNotificationDefaultResponse);
    user.chooseInSavePanel(folder.file("missing/take.aiff"));
    user.pressAlertButton();
    user.chooseInSavePanel(take);
    ASSERT_TRUE(user.click(window->_startStopRecord));
    EXPECT_EQ(shownKinds(), (std::vector<Kind>{Kind::notification, Kind::savePanel, Kind::notification, Kind::savePanel,
                                               Kind::alert, Kind::savePanel}));
    EXPECT_EQ(user.shown()[1].allowedFileTypes, std::vector<std::string>{"aiff"});
    EXPECT_EQ(user.shown()[4].messageText, "Error");
    EXPECT_EQ(user.shown()[4].informativeText, "Error saving recording to file!");
    EXPECT_EQ(user.shown()[4].style, NSAlertStyleCritical);
    EXPECT_EQ(engine().m_recordFrames[0], nullptr);

    SF_INFO info{};
    SNDFILE* file = sf_open(take.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 48000);
    ASSERT_EQ(info.frames, static_cast<sf_count_t>(frames));
    std::vector<short> saved(2 * frames);
    ASSERT_EQ(sf_readf_short(file, saved.data(), frames), static_cast<sf_count_t>(frames));
    sf_close(file);
    // Clipped to full scale, then x 32767 truncated toward zero.
    auto int16Of = [](float x) { return static_cast<short>(std::clamp(x, -1.0f, 1.0f) * 32767.0f); };
    for (unsigned i = 0; i < frames; ++i) {
        ASSERT_EQ(saved[2 * i], int16Of(recordedLeft[i])) << "left frame " << i;
        ASSERT_EQ(saved[2 * i + 1], int16Of(recordedRight[i])) << "right frame " << i;
    }
    // Nothing half-written was left beside it.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"loud.wav", "take.aiff"}));
}

TEST_F(Recorder, StoppingKeepsTheTakeUntilTheCycleInProgressHasEnded)
{
    startEngine();
    openWindow();
    ASSERT_TRUE(user.click(window->_startStopRecord));
    render(4 * kBuffer);

    // The audio thread is inside a cycle that read the recorder as running;
    // it ends some time after the stop. However long that is, the take's
    // arrays are still there until it has ended.
    engine().m_audioProcessing.store(true);
    std::atomic<bool> keptDuringCycle{false};
    std::thread audioThread([&] {
        while (engine().m_recordStatus.load() != 0)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        keptDuringCycle = engine().m_recordFrames[0] != nullptr && engine().m_recordFrames[1] != nullptr;
        engine().m_audioProcessing.store(false);
    });
    user.answerNotification(kCFUserNotificationAlternateResponse);
    ASSERT_TRUE(user.click(window->_startStopRecord));
    audioThread.join();
    EXPECT_TRUE(keptDuringCycle);
    EXPECT_EQ(engine().m_recordFrames[0], nullptr);
    EXPECT_EQ(shownKinds(), std::vector<Kind>{Kind::notification});
}

} // namespace
