// The audio cycle allocates nothing, whatever it does.
#include "EngineRig.h"
#include "VTRealtimeCheck.h"

using enginetest::EngineRig;
using enginetest::Stereo;

TEST(AudioCycleRealtime, HandsOverMidiPlaysRecordsAndFollowsTempoWithoutAllocating)
{
    EngineRig rig;
    constexpr unsigned kFrames = 256;
    rig.engine.m_playFrames[0] = new float[1001]();
    rig.engine.m_playFrames[1] = new float[1001]();
    rig.engine.m_numPlayerFileFrames = 1000;
    rig.engine.m_counterInc = 44100.0 / 48000.0;
    rig.engine.m_recordFrames[0] = new float[4 * kFrames]();
    rig.engine.m_recordFrames[1] = new float[4 * kFrames]();
    rig.engine.m_maxRecordFrames = 3 * kFrames + 17;
    rig.engine.m_recordStatus = 2;
    rig.engine.m_playerPlayStatus = 2;
    rig.plugin().readTimeInfo = true;
    Stereo output(kFrames);

    vt::testing::resetRealtimeAllocations();
    for (int cycle = 0; cycle < 12; ++cycle) {
        for (int i = 0; i < 16; ++i)
            rig.engine.queueMidi(0x90, static_cast<uint8_t>(40 + i), 100);
        if (cycle % 3 == 0)
            rig.engine.changeTempo(100.0 + cycle);
        rig.engine.m_playStatus = cycle % 2 == 0;
        rig.engine.m_playStatusChanged = true;
        rig.engine.m_playerPlayLooped = cycle < 6;
        vt::testing::RealtimeScope audioThread;
        rig.cycle(output);
    }
    EXPECT_EQ(vt::testing::realtimeAllocationCount(), 0u)
        << "first allocation: " << vt::testing::firstRealtimeAllocationSize() << " bytes";
    // The cycles really did all of it.
    EXPECT_EQ(rig.plugin().processEventsCalls, 12);
    EXPECT_EQ(rig.engine.m_numRecordedFrames, 3 * kFrames + 17);
    EXPECT_GT(rig.engine.m_numPlayerPlayedFrames, 0u);
    EXPECT_EQ(rig.probe.lib.m_host.m_vstTimeInfo.tempo, 109.0);
}
