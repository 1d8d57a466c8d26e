// Input and output on different devices run on a private aggregate device.
#include "AudioTestSupport.h"

#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>

using namespace vt::testing;

namespace {

std::vector<AudioObjectID> systemDevices()
{
    AudioObjectPropertyAddress address{kAudioHardwarePropertyDevices, kAudioObjectPropertyScopeGlobal,
                                       kAudioObjectPropertyElementMain};
    UInt32 size = 0;
    EXPECT_EQ(AudioObjectGetPropertyDataSize(kAudioObjectSystemObject, &address, 0, nullptr, &size), noErr);
    std::vector<AudioObjectID> ids(size / sizeof(AudioObjectID));
    EXPECT_EQ(AudioObjectGetPropertyData(kAudioObjectSystemObject, &address, 0, nullptr, &size, ids.data()), noErr);
    return ids;
}

bool listed(AudioObjectID id)
{
    auto ids = systemDevices();
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

struct SplitWorld {
    SplitWorld()
    {
        mic = world.addDevice(deviceSpec("Mic", {2}, {}));
        speakers = world.addDevice(deviceSpec("Speakers", {}, {2}));
        world.setDefaultDevices(mic, speakers);
    }
    VirtualAudioWorld world;
    AudioObjectID mic = 0;
    AudioObjectID speakers = 0;
};

} // namespace

TEST(AudioAggregate, DifferentDevicesRunOnAPrivateAggregateThatStopRemoves)
{
    SplitWorld split;
    VTCoreAudio audio;
    EngineProbe engine;
    ASSERT_TRUE(audio.start(entryOf(audio, split.mic, true), entryOf(audio, split.speakers, false), engine.callback(),
                            &engine));
    EXPECT_TRUE(audio.m_running);

    auto aggregates = split.world.aggregates();
    ASSERT_EQ(aggregates.size(), 1u);
    const VirtualAggregateInfo& aggregate = aggregates[0];
    EXPECT_EQ(aggregate.name, "Veltrane Aggregate I/O");
    EXPECT_EQ(aggregate.uid, "com.veltrane.aggregate");
    EXPECT_TRUE(aggregate.isPrivate);
    // Sub-devices input first; the input device is the clock master.
    EXPECT_EQ(aggregate.subDeviceUIDs, (std::vector<std::string>{"uid:Mic", "uid:Speakers"}));
    EXPECT_EQ(aggregate.masterUID, "uid:Mic");
    EXPECT_EQ(aggregate.inputChannels, 2u);
    EXPECT_EQ(aggregate.outputChannels, 2u);
    EXPECT_EQ(audio.m_aggregateId, aggregate.id);
    EXPECT_TRUE(listed(aggregate.id));
    EXPECT_EQ(split.world.runningStream().deviceID(), aggregate.id);

    audio.stop();
    EXPECT_TRUE(split.world.aggregates().empty());
    EXPECT_FALSE(listed(aggregate.id));
    EXPECT_FALSE(audio.m_running);
}

TEST(AudioAggregate, TheAggregateCarriesTheInputIntoTheEngineAndTheEngineToTheOutput)
{
    SplitWorld split;
    VTCoreAudio audio;
    EngineProbe engine;
    ASSERT_TRUE(audio.start(entryOf(audio, split.mic, true), entryOf(audio, split.speakers, false), engine.callback(),
                            &engine));

    VirtualAudioStream stream = split.world.runningStream();
    ASSERT_EQ(stream.inputChannels(), 2u);
    ASSERT_EQ(stream.outputChannels(), 2u);
    Cycle cycle(2, 2, 128);
    ASSERT_EQ(cycle.render(stream), noErr);
    EXPECT_FLOAT_EQ(engine.firstInput[0], Cycle::inputValue(0));
    EXPECT_FLOAT_EQ(engine.firstInput[1], Cycle::inputValue(1));
    EXPECT_TRUE(cycle.outputIs(0, engine.leftValue));
    EXPECT_TRUE(cycle.outputIs(1, engine.rightValue));
}

TEST(AudioAggregate, AnAggregateLeftByAnEarlierRunIsReplaced)
{
    SplitWorld split;
    AudioObjectID leftover =
        split.world.addAggregate("Veltrane Aggregate I/O", "com.veltrane.aggregate", {"uid:Speakers"});
    ASSERT_NE(leftover, 0u);
    VTCoreAudio audio;
    ASSERT_NE(entryOf(audio, leftover, false), nullptr);
    EngineProbe engine;

    // Its UID would block a new aggregate unless it is removed first.
    ASSERT_TRUE(audio.start(entryOf(audio, split.mic, true), entryOf(audio, split.speakers, false), engine.callback(),
                            &engine));
    auto aggregates = split.world.aggregates();
    ASSERT_EQ(aggregates.size(), 1u);
    EXPECT_NE(aggregates[0].id, leftover);
    EXPECT_EQ(aggregates[0].masterUID, "uid:Mic");
}

TEST(AudioAggregate, ALeftoverIsRemovedEvenWhenTheLastStreamRanOnTheOutputDevice)
{
    SplitWorld split;
    AudioObjectID leftover =
        split.world.addAggregate("Veltrane Aggregate I/O", "com.veltrane.aggregate", {"uid:Speakers"});
    VTCoreAudio audio;
    VTAudioDevice* out = entryOf(audio, split.speakers, false);
    EngineProbe engine;
    ASSERT_TRUE(audio.start(nullptr, out, engine.callback(), &engine));
    audio.stop();

    ASSERT_TRUE(audio.start(entryOf(audio, split.mic, true), out, engine.callback(), &engine));
    EXPECT_FALSE(listed(leftover));
    EXPECT_EQ(split.world.aggregates().size(), 1u);
}

TEST(AudioAggregate, AnAggregateInputBringsItsSubDevicesAndItsFirstIsTheClockMaster)
{
    VirtualAudioWorld world;
    world.addDevice(deviceSpec("Left Mic", {1}, {}));
    world.addDevice(deviceSpec("Right Mic", {1}, {}));
    AudioObjectID speakers = world.addDevice(deviceSpec("Speakers", {}, {2}));
    AudioObjectID mics = world.addAggregate("Both Mics", "uid:Both Mics", {"uid:Left Mic", "uid:Right Mic"});
    VTCoreAudio audio;
    EngineProbe engine;
    ASSERT_TRUE(audio.start(entryOf(audio, mics, true), entryOf(audio, speakers, false), engine.callback(), &engine));

    auto aggregates = world.aggregates();
    auto ours = std::find_if(aggregates.begin(), aggregates.end(),
                             [](const auto& info) { return info.uid == "com.veltrane.aggregate"; });
    ASSERT_NE(ours, aggregates.end());
    EXPECT_EQ(ours->subDeviceUIDs, (std::vector<std::string>{"uid:Left Mic", "uid:Right Mic", "uid:Speakers"}));
    EXPECT_EQ(ours->masterUID, "uid:Left Mic");
}

// A step of building the aggregate that fails, and on which object.
struct BuildFailure {
    const char* name;
    enum Object { System, PlugIn, Input, AnyAggregate } object;
    AudioObjectPropertySelector selector;
    bool write;
};

void PrintTo(const BuildFailure& value, std::ostream* os)
{
    *os << value.name;
}

class AudioAggregateBuildFailure : public ::testing::TestWithParam<BuildFailure> {};

TEST_P(AudioAggregateBuildFailure, AFailedBuildAnswersFalseAndLeavesNoAggregate)
{
    SplitWorld split;
    VTCoreAudio audio;
    const BuildFailure& failure = GetParam();
    AudioObjectID object = failure.object == BuildFailure::System   ? AudioObjectID{kAudioObjectSystemObject}
                           : failure.object == BuildFailure::PlugIn ? 2u
                           : failure.object == BuildFailure::Input  ? split.mic
                                                                    : VirtualAudioWorld::anyAggregate;
    if (failure.write)
        split.world.failWrite(object, failure.selector);
    else
        split.world.failRead(object, failure.selector);
    EngineProbe engine;

    EXPECT_FALSE(audio.start(entryOf(audio, split.mic, true), entryOf(audio, split.speakers, false), engine.callback(),
                             &engine));
    EXPECT_FALSE(audio.m_running);
    EXPECT_EQ(audio.m_aggregateId, 0u);
    EXPECT_TRUE(split.world.aggregates().empty());
    EXPECT_FALSE(split.world.runningStream().valid());
    audio.stop();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, AudioAggregateBuildFailure,
    ::testing::Values(
        BuildFailure{"PlugInLookup", BuildFailure::System, kAudioHardwarePropertyPlugInForBundleID, false},
        BuildFailure{"SubDeviceUID", BuildFailure::Input, kAudioDevicePropertyDeviceUID, false},
        BuildFailure{"Create", BuildFailure::PlugIn, kAudioPlugInCreateAggregateDevice, false},
        // The aggregate exists by then and is destroyed again.
        BuildFailure{"SubDeviceList", BuildFailure::AnyAggregate, kAudioAggregateDevicePropertyFullSubDeviceList, true},
        BuildFailure{"ClockMaster", BuildFailure::AnyAggregate, kAudioAggregateDevicePropertyMasterSubDevice, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AudioAggregate, AStartFailingAfterTheBuildKeepsTheAggregateUntilStop)
{
    VirtualAudioWorld world;
    // The input's clock has no rate, so the aggregate it masters cannot
    // run its paced I/O thread: the unit fails to start.
    VirtualAudioDeviceSpec mic = deviceSpec("Clockless Mic", {2}, {});
    mic.sampleRate = 0;
    AudioObjectID micID = world.addDevice(mic);
    AudioObjectID speakers = world.addDevice(deviceSpec("Speakers", {}, {2}));
    world.setPaced(true);
    VTCoreAudio audio;
    EngineProbe engine;

    EXPECT_FALSE(audio.start(entryOf(audio, micID, true), entryOf(audio, speakers, false), engine.callback(), &engine));
    EXPECT_FALSE(audio.m_running);
    EXPECT_EQ(world.aggregates().size(), 1u);
    audio.stop();
    EXPECT_TRUE(world.aggregates().empty());
}

TEST(AudioAggregate, StartingWhileAStreamRunsEndsThatStreamFirst)
{
    SplitWorld split;
    VTCoreAudio audio;
    EngineProbe engine;
    VTAudioDevice* speakers = entryOf(audio, split.speakers, false);
    ASSERT_TRUE(audio.start(entryOf(audio, split.mic, true), speakers, engine.callback(), &engine));
    ASSERT_EQ(split.world.aggregates().size(), 1u);

    // No stop in between: the aggregate stream ends and the new one runs.
    ASSERT_TRUE(audio.start(nullptr, speakers, engine.callback(), &engine));
    EXPECT_TRUE(split.world.aggregates().empty());
    EXPECT_EQ(split.world.runningStream().deviceID(), split.speakers);
}
