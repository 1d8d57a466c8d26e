// Starting and stopping audio on virtual devices.
#include "EngineRig.h"
#include "VTPlatformTesting.h"

using enginetest::duplexDevice;
using enginetest::EngineRig;

namespace {

std::vector<VstInt32> opcodesSent(probe::ProbeState& state)
{
    std::vector<VstInt32> opcodes;
    for (int i = 0; i < state.dispatches.size(); ++i)
        opcodes.push_back(state.dispatches.items[i].opcode);
    return opcodes;
}

} // namespace

TEST(StartAudio, AnInstrumentWithoutInputStartsOnItsOutputWithoutANotice)
{
    EngineRig rig(enginetest::RigOptions().instrument().audioDevice(duplexDevice("Interface")));
    vt::testing::takeNotices();
    rig.registry.outputDevice = rig.audioEntry("Interface", false);
    rig.registry.inputDevice = rig.audioEntry("Interface", true);
    rig.plugin().dispatches.clear();
    ASSERT_TRUE(rig.engine.startAudio());
    EXPECT_TRUE(vt::testing::takeNotices().empty());
    EXPECT_EQ(rig.registry.inputDevice, nullptr); // an instrument takes no input
    EXPECT_TRUE(rig.engine.m_audioStarted);
    EXPECT_EQ(opcodesSent(rig.plugin()), (std::vector<VstInt32>{effSetBlockSize, effSetSampleRate, effMainsChanged}));
    EXPECT_EQ(rig.plugin().dispatches.items[0].value, 256);
    EXPECT_EQ(rig.plugin().dispatches.items[1].opt, 44100.0f);
    EXPECT_EQ(rig.probe.lib.m_host.m_vstTimeInfo.sampleRate, 44100.0);
    EXPECT_EQ(rig.probe.lib.m_host.m_tempoCallback, &VTVSTHostInterface::tempocallback);
    ASSERT_TRUE(rig.audioWorld.runningStream().valid());
    rig.engine.stopAudio();
    EXPECT_FALSE(rig.engine.m_audioStarted);
}

TEST(StartAudio, AnEffectWithoutInputDeviceWarnsThatOnlyThePlayerWillWork)
{
    EngineRig rig(enginetest::RigOptions().audioDevice(duplexDevice("Interface")));
    vt::testing::takeNotices();
    rig.registry.outputDevice = rig.audioEntry("Interface", false);
    ASSERT_TRUE(rig.engine.startAudio());
    auto notices = vt::testing::takeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].header, "Warning");
    EXPECT_EQ(notices[0].message, "No input device available.\r\nOnly the audio player will work.");
    EXPECT_EQ(notices[0].button, "OK");
    EXPECT_EQ(notices[0].level, static_cast<CFOptionFlags>(kCFUserNotificationCautionAlertLevel));
    rig.engine.stopAudio();
}

TEST(StartAudio, LiveInputPassesThroughAnEffectToTheOutput)
{
    EngineRig rig(enginetest::RigOptions().audioDevice(duplexDevice("Interface")));
    rig.registry.outputDevice = rig.audioEntry("Interface", false);
    rig.registry.inputDevice = rig.audioEntry("Interface", true);
    ASSERT_TRUE(rig.engine.startAudio());
    std::vector<std::vector<float>> in(2, std::vector<float>(256));
    for (size_t i = 0; i < 256; ++i) {
        in[0][i] = 0.001f * static_cast<float>(i);
        in[1][i] = -0.001f * static_cast<float>(i);
    }
    const auto out = rig.renderRunningStream(256, in);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], in[0]);
    EXPECT_EQ(out[1], in[1]);
    rig.engine.stopAudio();
}

TEST(StartAudio, WhilePlayingRestartsThePlayerAtFrameZeroWithTheTransport)
{
    EngineRig rig(enginetest::RigOptions().instrument().audioDevice(duplexDevice("Interface")));
    rig.registry.outputDevice = rig.audioEntry("Interface", false);
    rig.engine.m_playFrames[0] = new float[5]();
    rig.engine.m_playFrames[1] = new float[5]();
    rig.engine.m_numPlayerFileFrames = 4;
    rig.engine.m_playerPlayStatus = 1;
    rig.engine.m_numPlayerPlayedFrames = 1234;
    rig.engine.m_counter = 3.5;
    rig.engine.m_playerPlayDone = true;
    rig.engine.m_playStatusChanged = false;
    ASSERT_TRUE(rig.engine.startAudio());
    EXPECT_EQ(rig.engine.m_playerPlayStatus, 1);
    EXPECT_EQ(rig.engine.m_numPlayerPlayedFrames, 0u);
    EXPECT_EQ(rig.engine.m_counter, 0.0);
    EXPECT_FALSE(rig.engine.m_playerPlayDone);
    EXPECT_TRUE(rig.engine.m_playStatus);
    EXPECT_TRUE(rig.engine.m_playStatusChanged);
    EXPECT_EQ(rig.engine.m_audioPPQ, 0.0);
    rig.engine.stopAudio();
}

TEST(StartAudio, FailsWithoutAnOutputDeviceOrLinks)
{
    EngineRig rig;
    rig.registry.outputDevice = nullptr;
    EXPECT_FALSE(rig.engine.startAudio());
    VTVSTHostInterface unlinked;
    EXPECT_FALSE(unlinked.startAudio());
    EXPECT_FALSE(unlinked.startMidi());
}
