// The bounce from the main menu, around the probe (which reports its end at
// chosen frames): the temporary file, the save panel, the move, the alerts
// and live audio afterwards. Every saved file is read with libsndfile.
#include "AppTestSupport.h"
#include "ProbeState.h"

#include <sndfile.h>
#include <sys/resource.h>

#include <cctype>
#include <csignal>
#include <cstdlib>

using namespace apptest;

namespace {

// "Bounce yyyy.MM.dd-HH:mm:ss.wav", where each 9 of the shape is a digit.
bool isDatedBounceName(const std::string& name)
{
    const std::string shape = "Bounce 9999.99.99-99:99:99.wav";
    if (name.size() != shape.size())
        return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(name[i])) != 0;
        if (shape[i] == '9' ? !digit : name[i] != shape[i])
            return false;
    }
    return true;
}

class BounceApp : public KindraApp {
protected:
    void SetUp() override
    {
        KindraApp::SetUp();
        ASSERT_TRUE(temporary.valid() && saved.valid());
        const char* old = std::getenv("TMPDIR");
        oldTemporary = old != nullptr ? old : "";
        hadTemporary = old != nullptr;
        setenv("TMPDIR", temporary.path().c_str(), 1);
        launch();
        ASSERT_NE(effect(), nullptr);
        effect()->flags |= effFlagsIsSynth;
        activate();
        ASSERT_TRUE(window().hostInterface().m_audioStarted.load());
        // 48 kHz at 120 BPM: the grid is 48000 frames; an end at 96020
        // (block 375 of 256 = 96000, offset 20) trims 20 frames to 96000.
        probe().gain = 0.0f;
        probe().offset = 0.5f;
        probe().reportBounceEndAt(96020, 1, 20);
    }
    void TearDown() override
    {
        KindraApp::TearDown();
        if (hadTemporary)
            setenv("TMPDIR", oldTemporary.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    probe::ProbeState& probe() { return *probe::stateOf(effect()); }
    bool bounce() { return user.chooseMenuItem(app->bounceItem); }
    bool temporaryFolderEmpty() const { return fs::is_empty(temporary.path()); }
    // The alert the bounce showed last.
    void expectAlert(const vt::testing::ShownModal& shown, const char* text, NSAlertStyle style)
    {
        EXPECT_EQ(shown.kind, vt::testing::ShownModal::Kind::alert);
        EXPECT_EQ(shown.messageText, "Pyrole"); // the plug-in's name
        EXPECT_EQ(shown.informativeText, text);
        EXPECT_EQ(shown.style, style);
    }
    void expectLiveAudio()
    {
        EXPECT_TRUE(window().hostInterface().m_audioStarted.load());
        vt::testing::VirtualAudioStream stream = audioWorld.runningStream();
        ASSERT_TRUE(stream.valid());
        std::vector<float> in(256, 0.0f), left(256, 9.0f), right(256, 9.0f);
        const float* input[2] = {in.data(), in.data()};
        float* output[2] = {left.data(), right.data()};
        const int before = probe().processes.count.load();
        ASSERT_EQ(stream.render(256, input, output), noErr);
        EXPECT_EQ(probe().processes.count.load(), before + 1); // the cycle reached the plug-in
    }

    vt::testing::TemporaryFolder temporary{"kindra-tmp"};
    vt::testing::TemporaryFolder saved{"kindra-saved"};
    std::string oldTemporary;
    bool hadTemporary = false;
};

TEST_F(BounceApp, SavesTheTrimmedFileWhereTheUserChoseAndReportsSuccess)
{
    const std::string target = saved.file("Song.wav");
    user.chooseInSavePanel(target);
    user.pressAlertButton();
    ASSERT_TRUE(bounce());
    EXPECT_EQ(window().getHostLib()->m_host.m_bounceDoneCallback, &bounceDoneCallback);
    EXPECT_EQ(window().getHostLib()->m_host.m_bounceDoneCustomData, &window());

    ASSERT_EQ(user.shown().size(), 2u);
    const vt::testing::ShownModal& panel = user.shown()[0];
    EXPECT_EQ(panel.kind, vt::testing::ShownModal::Kind::savePanel);
    EXPECT_TRUE(isDatedBounceName(panel.nameFieldStringValue)) << panel.nameFieldStringValue;
    expectAlert(user.shown()[1], "Bounce saved successfully!", NSAlertStyleInformational);

    SF_INFO info{};
    SNDFILE* file = sf_open(target.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.frames, 96000);
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.channels, 2);
    std::vector<short> samples(96000 * 2);
    EXPECT_EQ(sf_readf_short(file, samples.data(), 96000), 96000);
    sf_close(file);
    // 0.5 x 32767 = 16383; the last frame at 1/64: 255.
    EXPECT_EQ(samples[0], 16383);
    EXPECT_EQ(samples[2 * (96000 - 64)], 16383);
    EXPECT_EQ(samples[2 * 95999], 255);
    EXPECT_TRUE(temporaryFolderEmpty());
    expectLiveAudio();
}

TEST_F(BounceApp, CancellingTheSavePanelLeavesNothingBehind)
{
    user.cancelPanel();
    ASSERT_TRUE(bounce());
    ASSERT_EQ(user.shown().size(), 1u); // the panel, no message
    EXPECT_EQ(user.shown()[0].kind, vt::testing::ShownModal::Kind::savePanel);
    EXPECT_TRUE(temporaryFolderEmpty());
    EXPECT_TRUE(fs::is_empty(saved.path()));
    expectLiveAudio();
}

TEST_F(BounceApp, AMoveOntoAnExistingFileFailsAndKeepsThatFile)
{
    const std::string target = saved.file("Song.wav");
    writeBytes(target, "older take");
    user.chooseInSavePanel(target);
    user.pressAlertButton();
    ASSERT_TRUE(bounce());
    ASSERT_EQ(user.shown().size(), 2u);
    expectAlert(user.shown()[1], "Error saving bounce!", NSAlertStyleCritical);
    EXPECT_EQ(readBytes(target), "older take");
    EXPECT_TRUE(temporaryFolderEmpty());
    expectLiveAudio();
}

TEST_F(BounceApp, ATemporaryFileThatCannotBeCreatedStopsBeforeTheRender)
{
    setenv("TMPDIR", (temporary.path() / "gone").c_str(), 1);
    probe().parameters.clear();
    user.pressAlertButton();
    ASSERT_TRUE(bounce());
    ASSERT_EQ(user.shown().size(), 1u);
    expectAlert(user.shown()[0], "Error creating temporary file!", NSAlertStyleCritical);
    EXPECT_EQ(probe().parameters.size(), 0); // no pre-roll, audio untouched
    EXPECT_TRUE(temporaryFolderEmpty());
    expectLiveAudio();
}

TEST_F(BounceApp, ABlockThatFailsToWriteIsNeverOfferedForSaving)
{
    // A file-size limit of 64 KiB stands for a full disk: the 384 KB
    // bounce fails part way (SIGXFSZ ignored, the write answers EFBIG).
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    user.pressAlertButton();
    const bool chosen = bounce();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_TRUE(chosen);
    ASSERT_EQ(user.shown().size(), 1u); // no save panel
    expectAlert(user.shown()[0], "Error saving bounce!", NSAlertStyleCritical);
    EXPECT_TRUE(temporaryFolderEmpty());
    expectLiveAudio();
}

} // namespace
