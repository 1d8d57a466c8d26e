// Processing allocates nothing: notes in and out, the bounce phrase and its
// end report all run inside a real-time scope.
#include "KindraTestHost.h"
#include "VTRealtimeCheck.h"

using kindra::LoadedKindra;

TEST(Realtime, ProcessingNotesAndTheirEchoAllocatesNothing)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.start(48000.0f);
    vt::testing::resetRealtimeAllocations();
    for (int block = 0; block < 64; ++block) {
        const unsigned char note = static_cast<unsigned char>(36 + block % 40);
        VstEvents* events = kindra.prepare({{block % 200, 0x90, note, 100},
                                            {255, 0x80, static_cast<unsigned char>(note - 1), 0},
                                            {30, 0xE0, 0, static_cast<unsigned char>(block)},
                                            {40, 0xB0, 64, 127}});
        vt::testing::RealtimeScope scope;
        kindra.lib.m_plugin->dispatcher(kindra.lib.m_plugin, effProcessEvents, 0, 0, events, 0.0f);
        kindra.render(256);
    }
    EXPECT_EQ(vt::testing::realtimeAllocationCount(), 0u)
        << "first allocation of " << vt::testing::firstRealtimeAllocationSize() << " bytes";
    EXPECT_GT(kindra.recorder.midi.size(), 64u); // the echo really ran
}

TEST(Realtime, TheBouncePhraseAndItsEndReportAllocateNothing)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.setParameter(kParamRelease, 0.0f);
    kindra.start(44100.0f);
    kindra.setParameter(kBounceCaptureParam, 1.0f);
    vt::testing::resetRealtimeAllocations();
    // 120 BPM: the phrase and its release end at frame 352844, block 1378.
    for (int block = 0; block < 1400; ++block) {
        vt::testing::RealtimeScope scope;
        kindra.render(256);
    }
    EXPECT_EQ(vt::testing::realtimeAllocationCount(), 0u)
        << "first allocation of " << vt::testing::firstRealtimeAllocationSize() << " bytes";
    EXPECT_FALSE(kindra.recorder.bounces.empty());
}
