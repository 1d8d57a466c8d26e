// The audio cycle: input selection, the player, the recorder, transport,
// tempo and the MIDI hand-over.
#include "EngineRig.h"

using enginetest::EngineRig;
using enginetest::Stereo;

namespace {

// Gives the engine a player sample of the given frames (plus the copy of
// frame 0 the interpolation reads past the end).
void loadSample(VTVSTHostInterface& engine, const std::vector<float>& left, const std::vector<float>& right,
                double increment = 1.0)
{
    const size_t frames = left.size();
    engine.m_playFrames[0] = new float[frames + 1];
    engine.m_playFrames[1] = new float[frames + 1];
    for (size_t i = 0; i <= frames; ++i) {
        engine.m_playFrames[0][i] = left[i % frames];
        engine.m_playFrames[1][i] = right[i % frames];
    }
    engine.m_numPlayerFileFrames = static_cast<unsigned>(frames);
    engine.m_counterInc = increment;
    engine.m_counter = 0;
}

} // namespace

TEST(AudioCycle, AnEffectWithoutInputDeviceOrWithThePlayerOpenHearsSilence)
{
    EngineRig rig;
    rig.plugin().offset = 0.25f; // the probe adds this to what it hears

    // No input device: the audio layer passes no input, the input is the
    // output, silenced before processing.
    Stereo output(64, 0.9f);
    ASSERT_TRUE(rig.cycle(output));
    EXPECT_EQ(output.left, std::vector<float>(64, 0.25f));

    // An input device whose channels the output buffers hold, but the
    // player window is open.
    VTAudioDevice inputRecord;
    rig.registry.inputDevice = &inputRecord;
    rig.engine.m_playerDialogOpen = true;
    Stereo live(64, 0.9f);
    ASSERT_TRUE(VTVSTHostInterface::audiocallback(live.pair(), live.pair(), 64, &rig.engine));
    EXPECT_EQ(live.right, std::vector<float>(64, 0.25f));

    // Window closed: the live input is heard.
    rig.engine.m_playerDialogOpen = false;
    Stereo heard(64, 0.5f);
    VTVSTHostInterface::audiocallback(heard.pair(), heard.pair(), 64, &rig.engine);
    EXPECT_EQ(heard.left, std::vector<float>(64, 0.75f));
}

TEST(AudioCycle, AnInstrumentsInputIsLeftUntouched)
{
    EngineRig rig(enginetest::RigOptions().instrument());
    rig.plugin().offset = 0.25f;
    Stereo output(32, 0.5f); // whatever the buffers held: the plug-in hears it
    ASSERT_TRUE(rig.cycle(output));
    EXPECT_EQ(output.left, std::vector<float>(32, 0.75f));
}

TEST(AudioCycle, TransportAndTempoRequestsTakeEffectInTheNextCycle)
{
    EngineRig rig;
    VSTHost& host = rig.probe.lib.m_host;
    Stereo output(480);
    // Construction leaves a pending "stop" request.
    rig.engine.m_playStatus = true;
    rig.engine.m_audioPPQ = 5.0;
    rig.cycle(output);
    EXPECT_TRUE(host.getPlayStatus());
    EXPECT_FALSE(rig.engine.m_playStatusChanged);

    ASSERT_TRUE(rig.engine.changeTempo(90.0));
    rig.cycle(output);
    EXPECT_EQ(host.m_vstTimeInfo.tempo, 90.0);
    // 90 BPM at 48 kHz is 1.5 / 48000 beats per frame: 480 frames after
    // the change are 0.015 beats, on top of the first cycle's 480 frames at
    // the factor startAudio would have set (0 here).
    EXPECT_DOUBLE_EQ(rig.engine.m_bpmFactor, 90.0 / 60.0 / 48000.0);
    EXPECT_DOUBLE_EQ(rig.engine.m_audioPPQ.load(), 0.015);
}

TEST(AudioCycle, ATempoHandOverThatNoCycleTakesGivesUpAndKeepsTheTempo)
{
    EngineRig rig;
    rig.engine.m_tempo = 120.0;
    // Audio runs, but the cycle never consumes the pending change.
    rig.engine.m_audioProcessing = true;
    rig.engine.m_tempoChanged = true;
    EXPECT_FALSE(rig.engine.changeTempo(90.0));
    EXPECT_EQ(rig.engine.m_tempo.load(), 120.0);

    // Once a cycle has taken it, the next change goes through at once.
    rig.engine.m_tempoChanged = false;
    EXPECT_TRUE(rig.engine.changeTempo(90.0));
    EXPECT_EQ(rig.engine.m_tempo.load(), 90.0);
    EXPECT_TRUE(rig.engine.m_tempoChanged.load());
    rig.engine.m_audioProcessing = false;
}

TEST(AudioCycle, ThePositionFollowsTheTransportOrMidiClock)
{
    EngineRig rig;
    VstTimeInfo& time = rig.probe.lib.m_host.m_vstTimeInfo;
    Stereo output(64);
    rig.engine.m_playStatusChanged = false;
    rig.engine.m_audioPPQ = 3.5;
    rig.cycle(output);
    EXPECT_EQ(time.ppqPos, 3.5);

    rig.engine.m_midiSync = true;
    rig.engine.m_midiPPQ = 8.0;
    rig.cycle(output);
    EXPECT_EQ(time.ppqPos, 8.0);
    // No clock tick since: a fixed step ahead, not accumulated.
    rig.cycle(output);
    rig.cycle(output);
    EXPECT_EQ(time.ppqPos, 8.0 + 0.010416666977107525);
    rig.engine.m_midiPPQ = -1.0;
    rig.cycle(output);
    EXPECT_EQ(time.ppqPos, 8.0 + 0.010416666977107525);
}

TEST(AudioCycle, ThePlayerInterpolatesAndLoops)
{
    EngineRig rig;
    // Frames 0, 1, 2, 3 at half speed: 0, 0.5, 1, 1.5, 2, 2.5, 3, then the
    // extra frame (a copy of frame 0) between 3 and the loop's start.
    loadSample(rig.engine, {0, 1, 2, 3}, {0, -1, -2, -3}, 0.5);
    rig.engine.m_playerPlayLooped = true;
    rig.engine.m_playerPlayStatus = 1;
    rig.plugin().gain = 1.0f;
    Stereo output(10);
    rig.cycle(output);
    std::vector<float> expected{0, 0.5f, 1, 1.5f, 2, 2.5f, 3, 1.5f, 0, 0.5f};
    EXPECT_EQ(output.left, expected);
    EXPECT_EQ(output.right[3], -1.5f);
    EXPECT_EQ(rig.engine.m_numPlayerPlayedFrames, 10u);
    EXPECT_FALSE(rig.engine.m_playerPlayDone);
}

TEST(AudioCycle, ANonLoopedFileShorterThanOneBufferEndsInThatBuffer)
{
    EngineRig rig;
    loadSample(rig.engine, {0.5f, 0.5f, 0.5f}, {0.25f, 0.25f, 0.25f});
    rig.engine.m_playerPlayLooped = false;
    rig.engine.m_playerPlayStatus = 1;
    Stereo output(8, 0.9f);
    rig.cycle(output);
    EXPECT_EQ(output.left, (std::vector<float>{0.5f, 0.5f, 0.5f, 0, 0, 0, 0, 0}));
    EXPECT_EQ(output.right, (std::vector<float>{0.25f, 0.25f, 0.25f, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(rig.engine.m_playerPlayDone);

    // Done: the effect hears silence again (no input device).
    Stereo next(8, 0.9f);
    rig.cycle(next);
    EXPECT_EQ(next.left, std::vector<float>(8, 0.0f));
}

TEST(AudioCycle, TheRecorderStopsAtItsCapacity)
{
    EngineRig rig(enginetest::RigOptions().instrument());
    rig.plugin().offset = 0.5f;
    rig.engine.m_recordFrames[0] = new float[100]();
    rig.engine.m_recordFrames[1] = new float[100]();
    rig.engine.m_maxRecordFrames = 100;
    rig.engine.m_recordStatus = 1;
    Stereo output(64);
    rig.cycle(output);
    EXPECT_EQ(rig.engine.m_numRecordedFrames, 64u);
    Stereo second(64);
    rig.cycle(second);
    // Only the 36 frames that still fit are taken; the state stays 1.
    EXPECT_EQ(rig.engine.m_numRecordedFrames, 100u);
    EXPECT_EQ(rig.engine.m_recordStatus, 1);
    EXPECT_EQ(rig.engine.m_recordFrames[0][99], 0.5f);
    rig.cycle(second);
    EXPECT_EQ(rig.engine.m_numRecordedFrames, 100u);
}

TEST(MidiHandOver, EventsQueuedWhileAProducerFillsArriveOneCycleLater)
{
    EngineRig rig;
    Stereo output(16);
    rig.engine.queueMidi(0x90, 60, 100);
    rig.engine.m_isFilling.enter(); // a producer is in the middle of an append
    rig.cycle(output);
    EXPECT_EQ(rig.plugin().processEventsCalls, 0);
    rig.engine.m_isFilling.leave();
    rig.cycle(output);
    ASSERT_EQ(rig.plugin().processEventsCalls, 1);
    EXPECT_EQ(rig.receivedEvents(), (std::vector<std::vector<unsigned char>>{{0x90, 60, 100}}));
    EXPECT_EQ(rig.plugin().events.items[0].deltaFrames, 0);
    // Nothing queued: nothing sent.
    rig.cycle(output);
    EXPECT_EQ(rig.plugin().processEventsCalls, 1);
}

TEST(MidiHandOver, AFullQueueDropsThe257thEvent)
{
    EngineRig rig;
    for (int i = 0; i < 256; ++i)
        EXPECT_TRUE(rig.engine.queueMidi(0x90, static_cast<uint8_t>(i % 128), 1));
    EXPECT_FALSE(rig.engine.queueMidi(0x80, 1, 0));
    Stereo output(16);
    rig.cycle(output);
    ASSERT_EQ(rig.plugin().events.size(), 256);
    EXPECT_EQ(rig.plugin().events.items[255].bytes[1], 255 % 128);
    // The swapped-in queue has room again.
    EXPECT_TRUE(rig.engine.queueMidi(0x80, 1, 0));
}

TEST(MidiHandOver, AnArmedPlayerAndRecorderStartWithTheFirstCycleThatPassesMidi)
{
    EngineRig rig;
    loadSample(rig.engine, {0.1f, 0.1f}, {0.1f, 0.1f});
    rig.engine.m_playerPlayLooped = true;
    rig.engine.m_recordFrames[0] = new float[64]();
    rig.engine.m_recordFrames[1] = new float[64]();
    rig.engine.m_maxRecordFrames = 64;
    rig.engine.m_playerPlayStatus = 2;
    rig.engine.m_recordStatus = 2;
    rig.engine.m_audioPPQ = 7.0;
    Stereo output(16);
    rig.cycle(output);
    EXPECT_EQ(rig.engine.m_playerPlayStatus, 2);
    EXPECT_EQ(rig.engine.m_numRecordedFrames, 0u);

    rig.engine.queueMidi(0x90, 60, 100);
    rig.cycle(output);
    EXPECT_EQ(rig.engine.m_playerPlayStatus, 1);
    EXPECT_EQ(rig.engine.m_recordStatus, 1);
    EXPECT_EQ(rig.engine.m_numRecordedFrames, 16u);
    EXPECT_EQ(output.left[0], 0.1f); // the player was heard in that same cycle
}

TEST(MidiHandOver, APlugInTempoRequestIsHandedOverAndStored)
{
    EngineRig rig;
    rig.probe.lib.m_host.m_tempoCallback = &VTVSTHostInterface::tempocallback;
    rig.probe.lib.m_host.m_tempoCustomData = &rig.engine;
    EXPECT_EQ(rig.probe.callHost(audioMasterVTSetTempo, 0, 0, nullptr, 133.0f), 1);
    EXPECT_EQ(rig.engine.m_tempo, 133.0);
    EXPECT_TRUE(rig.engine.m_tempoChanged);
    EXPECT_EQ(rig.registry.tempo, 133.0);
    // The registry was written at once: the stored tempo reads back.
    int stored = 0;
    ASSERT_TRUE(rig.registry.getkeyvalue("Tempo", &stored));
    EXPECT_EQ(stored, 133);
}
