// Running a pair of entries as one stream: the device chosen, the unit's
// configuration, channel picks and the zero fill, errors, stop.
#include "AudioTestSupport.h"

#include <AudioToolbox/AudioToolbox.h>

#include <gtest/gtest.h>

#include <ostream>

using namespace vt::testing;

namespace {

UInt32 unitProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element)
{
    UInt32 value = 0xFFFFFFFFU;
    UInt32 size = sizeof value;
    EXPECT_EQ(AudioUnitGetProperty(unit, id, scope, element, &value, &size), noErr);
    return value;
}

} // namespace

TEST(AudioStream, WithoutInputTheUnitRunsOnTheOutputDeviceWithInputDisabled)
{
    VirtualAudioWorld world;
    AudioObjectID id = world.addDevice(deviceSpec("Out", {}, {2}));
    VTCoreAudio audio;
    EngineProbe engine;
    VTAudioDevice* out = entryOf(audio, id, false);

    ASSERT_TRUE(audio.start(nullptr, out, engine.callback(), &engine));
    EXPECT_TRUE(audio.m_running);
    EXPECT_EQ(audio.m_aggregateId, id);
    EXPECT_TRUE(world.aggregates().empty());
    EXPECT_EQ(unitProperty(audio.m_iOUnit, kAudioOutputUnitProperty_EnableIO, kAudioUnitScope_Input, 1), 0u);
    EXPECT_EQ(unitProperty(audio.m_iOUnit, kAudioOutputUnitProperty_EnableIO, kAudioUnitScope_Output, 0), 1u);

    VirtualAudioStream stream = world.runningStream();
    ASSERT_EQ(stream.deviceID(), id);
    Cycle cycle(0, 2, 64);
    ASSERT_EQ(cycle.render(stream), noErr);
    EXPECT_EQ(engine.calls, 1);
    EXPECT_EQ(engine.frames, 64u);
    EXPECT_EQ(engine.in[0], nullptr);
    EXPECT_EQ(engine.in[1], nullptr);
    // Left is buffer 0 and right buffer 1, which play on outputs 1 and 2.
    EXPECT_NE(engine.out[0], engine.out[1]);
    EXPECT_TRUE(cycle.outputIs(0, engine.leftValue));
    EXPECT_TRUE(cycle.outputIs(1, engine.rightValue));
}

TEST(AudioStream, TheStreamFormatIsFloatNonInterleavedWithTheWiderSidesChannels)
{
    VirtualAudioWorld world;
    VirtualAudioDeviceSpec spec = deviceSpec("Duplex", {6}, {2});
    spec.sampleRate = 96000;
    AudioObjectID id = world.addDevice(spec);
    VTCoreAudio audio;
    EngineProbe engine;
    ASSERT_TRUE(audio.start(entryOf(audio, id, true), entryOf(audio, id, false), engine.callback(), &engine));

    for (auto [scope, element] : {std::pair{kAudioUnitScope_Input, 0u}, std::pair{kAudioUnitScope_Output, 1u}}) {
        AudioStreamBasicDescription format{};
        UInt32 size = sizeof format;
        ASSERT_EQ(AudioUnitGetProperty(audio.m_iOUnit, kAudioUnitProperty_StreamFormat, scope, element, &format, &size),
                  noErr);
        EXPECT_EQ(format.mSampleRate, 96000.0);
        EXPECT_EQ(format.mFormatID, static_cast<UInt32>(kAudioFormatLinearPCM));
        // 0x29 = float (1) | packed (8) | non-interleaved (32).
        EXPECT_EQ(format.mFormatFlags, 0x29u);
        EXPECT_EQ(format.mBytesPerPacket, 4u);
        EXPECT_EQ(format.mFramesPerPacket, 1u);
        EXPECT_EQ(format.mBytesPerFrame, 4u);
        // max(6 inputs, 2 outputs) = 6.
        EXPECT_EQ(format.mChannelsPerFrame, 6u);
        EXPECT_EQ(format.mBitsPerChannel, 32u);
    }
    EXPECT_EQ(unitProperty(audio.m_iOUnit, kAudioOutputUnitProperty_EnableIO, kAudioUnitScope_Input, 1), 1u);
}

TEST(AudioStream, BothEntriesOfOneDeviceRunOnThatDeviceWithoutAnAggregate)
{
    VirtualAudioWorld world;
    AudioObjectID id = world.addDevice(deviceSpec("Duplex", {2}, {2}));
    VTCoreAudio audio;
    EngineProbe engine;

    ASSERT_TRUE(audio.start(entryOf(audio, id, true), entryOf(audio, id, false), engine.callback(), &engine));
    EXPECT_EQ(audio.m_aggregateId, id);
    EXPECT_TRUE(world.aggregates().empty());

    Cycle cycle(2, 2, 32);
    ASSERT_EQ(cycle.render(world.runningStream()), noErr);
    // The engine reads input 1 and 2 (0.1 and 0.2) before it writes, and
    // input and output of the same index share one buffer.
    EXPECT_FLOAT_EQ(engine.firstInput[0], Cycle::inputValue(0));
    EXPECT_FLOAT_EQ(engine.firstInput[1], Cycle::inputValue(1));
    EXPECT_EQ(engine.in[0], engine.out[0]);
    EXPECT_EQ(engine.in[1], engine.out[1]);
    EXPECT_TRUE(cycle.outputIs(0, engine.leftValue));
    EXPECT_TRUE(cycle.outputIs(1, engine.rightValue));
}

// Output channel choices on one device and what each output plays after
// the engine wrote L to its left and then R to its right pointer. The
// device's input fills every buffer first, so a buffer that is not
// cleared would play its input value (0.1 * channel) instead of 0.
struct PickCase {
    const char* name;
    UInt32 channels;
    uint32_t left;
    uint32_t right;
    bool sameOutputPointer;
    std::vector<char> plays; // 'L', 'R' or '0' per output channel
};

void PrintTo(const PickCase& value, std::ostream* os)
{
    *os << value.name;
}

class AudioStreamChannelPicks : public ::testing::TestWithParam<PickCase> {};

TEST_P(AudioStreamChannelPicks, ThePickedBuffersKeepTheEngineOutputAndEveryOtherIsSilenced)
{
    const PickCase& pick = GetParam();
    VirtualAudioWorld world;
    AudioObjectID id = world.addDevice(deviceSpec("Device", {pick.channels}, {pick.channels}));
    VTCoreAudio audio;
    VTAudioDevice* in = entryOf(audio, id, true);
    VTAudioDevice* out = entryOf(audio, id, false);
    out->left = pick.left;
    out->right = pick.right;
    EngineProbe engine;
    ASSERT_TRUE(audio.start(in, out, engine.callback(), &engine));

    Cycle cycle(pick.channels, pick.channels, 16);
    ASSERT_EQ(cycle.render(world.runningStream()), noErr);
    ASSERT_EQ(engine.calls, 1);
    EXPECT_EQ(engine.out[0] == engine.out[1], pick.sameOutputPointer);
    for (UInt32 c = 0; c < pick.channels; ++c) {
        float expected = pick.plays[c] == 'L' ? engine.leftValue : pick.plays[c] == 'R' ? engine.rightValue : 0.0f;
        EXPECT_TRUE(cycle.outputIs(c, expected)) << "output " << c << " plays " << cycle.output[c][0];
    }
}

INSTANTIATE_TEST_SUITE_P(Picks, AudioStreamChannelPicks,
                         ::testing::Values(
                             // left 5 is beyond 2 channels: left falls back to buffer 0, which is
                             // not cleared afterwards.
                             PickCase{"LeftBeyondDeviceFallsBackToZero", 2, 5, 1, false, {'L', 'R'}},
                             PickCase{"RightBeyondDeviceFallsBackToOne", 2, 0, 9, false, {'L', 'R'}},
                             PickCase{"SwappedChannels", 2, 1, 0, false, {'R', 'L'}},
                             // One buffer: both pointers are buffer 0; R is written last.
                             PickCase{"MonoDeviceSharesOneBuffer", 1, 0, 1, true, {'R'}},
                             // Buffers 0 and 1 held input; only 2 and 3 keep what the engine wrote.
                             PickCase{"FourChannelsUsingTheUpperPair", 4, 2, 3, false, {'0', '0', 'L', 'R'}},
                             PickCase{"BothSidesOnOneChannel", 4, 3, 3, true, {'0', '0', '0', 'R'}}),
                         [](const auto& info) { return std::string(info.param.name); });

// Input channel choices: which input the engine reads on each side.
struct InputPickCase {
    const char* name;
    UInt32 channels;
    uint32_t left;
    uint32_t right;
    UInt32 readsLeft;
    UInt32 readsRight;
};

void PrintTo(const InputPickCase& value, std::ostream* os)
{
    *os << value.name;
}

class AudioStreamInputPicks : public ::testing::TestWithParam<InputPickCase> {};

TEST_P(AudioStreamInputPicks, TheEngineReadsTheChosenInputsOrTheFallbacks)
{
    const InputPickCase& pick = GetParam();
    VirtualAudioWorld world;
    AudioObjectID id = world.addDevice(deviceSpec("Device", {pick.channels}, {pick.channels}));
    VTCoreAudio audio;
    VTAudioDevice* in = entryOf(audio, id, true);
    in->left = pick.left;
    in->right = pick.right;
    EngineProbe engine;
    ASSERT_TRUE(audio.start(in, entryOf(audio, id, false), engine.callback(), &engine));

    Cycle cycle(pick.channels, pick.channels, 8);
    ASSERT_EQ(cycle.render(world.runningStream()), noErr);
    EXPECT_FLOAT_EQ(engine.firstInput[0], Cycle::inputValue(pick.readsLeft));
    EXPECT_FLOAT_EQ(engine.firstInput[1], Cycle::inputValue(pick.readsRight));
}

INSTANTIATE_TEST_SUITE_P(Picks, AudioStreamInputPicks,
                         ::testing::Values(InputPickCase{"UpperPair", 4, 2, 3, 2, 3},
                                           InputPickCase{"BeyondDeviceFallsBack", 4, 7, 8, 0, 1},
                                           // One input: both sides read it.
                                           InputPickCase{"MonoInput", 1, 0, 1, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AudioStream, AFailedInputPullIsReturnedAndTheEngineIsNotCalled)
{
    VirtualAudioWorld world;
    AudioObjectID id = world.addDevice(deviceSpec("Duplex", {2}, {2}));
    VTCoreAudio audio;
    EngineProbe engine;
    ASSERT_TRUE(audio.start(entryOf(audio, id, true), entryOf(audio, id, false), engine.callback(), &engine));
    VirtualAudioStream stream = world.runningStream();

    const OSStatus overload = 0x6F766572; // 'over'
    world.failInput(overload);
    Cycle failing(2, 2, 16);
    EXPECT_EQ(failing.render(stream), overload);
    EXPECT_EQ(engine.calls, 0);
    EXPECT_TRUE(failing.outputIs(0, 0.0f));

    // The next buffer with working input runs normally again.
    world.failInput(noErr);
    Cycle working(2, 2, 16);
    EXPECT_EQ(working.render(stream), noErr);
    EXPECT_EQ(engine.calls, 1);
}

TEST(AudioStream, StartWithoutOutputAnswersFalseAndChangesNothing)
{
    VirtualAudioWorld world;
    AudioObjectID id = world.addDevice(deviceSpec("Duplex", {2}, {2}));
    VTCoreAudio audio;
    EngineProbe engine;
    EXPECT_FALSE(audio.start(entryOf(audio, id, true), nullptr, engine.callback(), &engine));
    EXPECT_FALSE(audio.m_running);
    EXPECT_EQ(audio.m_inDevice, nullptr);
    EXPECT_EQ(audio.m_callback, nullptr);
    EXPECT_EQ(audio.m_iOUnit, nullptr);
}

TEST(AudioStream, ADeviceTheUnitRefusesMakesStartAnswerFalse)
{
    VirtualAudioWorld world;
    AudioObjectID id = world.addDevice(deviceSpec("Unplugged", {}, {2}));
    world.addDevice(deviceSpec("Other", {}, {2}));
    VTCoreAudio audio;
    VTAudioDevice* out = entryOf(audio, id, false);
    // The device goes away after enumeration; its entry stays listed.
    ASSERT_TRUE(world.removeDevice(id));
    EngineProbe engine;

    EXPECT_FALSE(audio.start(nullptr, out, engine.callback(), &engine));
    EXPECT_FALSE(audio.m_running);
    EXPECT_FALSE(world.runningStream().valid());
}

TEST(AudioStream, StopIsHarmlessBeforeAnyStartAndWhenRepeated)
{
    VirtualAudioWorld world;
    AudioObjectID id = world.addDevice(deviceSpec("Out", {}, {2}));
    VTCoreAudio audio;
    audio.stop();
    EXPECT_FALSE(audio.m_running);

    EngineProbe engine;
    ASSERT_TRUE(audio.start(nullptr, entryOf(audio, id, false), engine.callback(), &engine));
    audio.stop();
    audio.stop();
    EXPECT_FALSE(audio.m_running);
    EXPECT_FALSE(world.runningStream().valid());
}

TEST(AudioStream, AStoppedStreamStartsAgainOnTheSameUnit)
{
    VirtualAudioWorld world;
    AudioObjectID first = world.addDevice(deviceSpec("First", {}, {2}));
    AudioObjectID second = world.addDevice(deviceSpec("Second", {}, {4}));
    VTCoreAudio audio;
    EngineProbe engine;
    ASSERT_TRUE(audio.start(nullptr, entryOf(audio, first, false), engine.callback(), &engine));
    AudioUnit unit = audio.m_iOUnit;
    audio.stop();

    ASSERT_TRUE(audio.start(nullptr, entryOf(audio, second, false), engine.callback(), &engine));
    EXPECT_EQ(audio.m_iOUnit, unit);
    VirtualAudioStream stream = world.runningStream();
    EXPECT_EQ(stream.deviceID(), second);
    Cycle cycle(0, 4, 8);
    EXPECT_EQ(cycle.render(stream), noErr);
    EXPECT_EQ(engine.calls, 1);
}

TEST(AudioStream, AStartThatFailsAfterInitialisingLeavesTheUnitReadyForTheNextStart)
{
    VirtualAudioWorld world;
    AudioObjectID id = world.addDevice(deviceSpec("Busy", {}, {2}));
    VTCoreAudio audio;
    VTAudioDevice* out = entryOf(audio, id, false);

    // Another unit already runs on the device, so starting on it fails.
    AudioComponentDescription description{kAudioUnitType_Output, kAudioUnitSubType_HALOutput,
                                          kAudioUnitManufacturer_Apple, 0, 0};
    AudioUnit other = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(AudioComponentFindNext(nullptr, &description), &other), noErr);
    ASSERT_EQ(
        AudioUnitSetProperty(other, kAudioOutputUnitProperty_CurrentDevice, kAudioUnitScope_Global, 0, &id, sizeof id),
        noErr);
    ASSERT_EQ(AudioUnitInitialize(other), noErr);
    ASSERT_EQ(AudioOutputUnitStart(other), noErr);

    EngineProbe engine;
    EXPECT_FALSE(audio.start(nullptr, out, engine.callback(), &engine));
    EXPECT_FALSE(audio.m_running);

    AudioComponentInstanceDispose(other);
    audio.stop();
    EXPECT_TRUE(audio.start(nullptr, out, engine.callback(), &engine));
}

TEST(AudioStream, DestroyingTheLayerStopsARunningStream)
{
    VirtualAudioWorld world;
    AudioObjectID id = world.addDevice(deviceSpec("Out", {}, {2}));
    {
        VTCoreAudio audio;
        EngineProbe engine;
        ASSERT_TRUE(audio.start(nullptr, entryOf(audio, id, false), engine.callback(), &engine));
        EXPECT_TRUE(world.runningStream().valid());
    }
    EXPECT_FALSE(world.runningStream().valid());
}

TEST(AudioStream, ABufferLongerThanTheMaximumReachesTheEngineInSlicesThatCoverIt)
{
    VirtualAudioWorld world;
    AudioObjectID id = world.addDevice(deviceSpec("Duplex", {2}, {2}));
    VTCoreAudio audio;
    EngineProbe engine;
    audio.setMaximumFrames(100);
    ASSERT_TRUE(audio.start(entryOf(audio, id, true), entryOf(audio, id, false), engine.callback(), &engine));

    // 250 frames: slices of 100, 100 and 50, the last starting 200 frames
    // into the same buffers; every frame carries the engine's output.
    Cycle cycle(2, 2, 250);
    ASSERT_EQ(cycle.render(world.runningStream()), noErr);
    EXPECT_EQ(engine.calls, 3);
    EXPECT_EQ(engine.frames, 50u);
    EXPECT_EQ(engine.in[0], engine.out[0]);
    EXPECT_TRUE(cycle.outputIs(0, engine.leftValue));
    EXPECT_TRUE(cycle.outputIs(1, engine.rightValue));
    audio.stop();
}

TEST(AudioStream, AMonoInputDeviceIsHeardOnBothSides)
{
    VirtualAudioWorld world;
    AudioObjectID mic = world.addDevice(deviceSpec("Mic", {1}, {}));
    AudioObjectID out = world.addDevice(deviceSpec("Speakers", {}, {2}));
    VTCoreAudio audio;
    EngineProbe engine;
    ASSERT_TRUE(audio.start(entryOf(audio, mic, true), entryOf(audio, out, false), engine.callback(), &engine));
    // The aggregate lists the microphone's one channel first: 0.1.
    Cycle cycle(1, 2, 16);
    ASSERT_EQ(cycle.render(world.runningStream()), noErr);
    EXPECT_EQ(engine.in[0], engine.in[1]);
    EXPECT_FLOAT_EQ(engine.firstInput[0], Cycle::inputValue(0));
    EXPECT_FLOAT_EQ(engine.firstInput[1], Cycle::inputValue(0));
    audio.stop();
}
