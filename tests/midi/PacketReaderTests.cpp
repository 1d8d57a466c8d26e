// Cutting packet lists into messages: the size table, the packet walk, the
// time between messages and every kind of malformed input.
#include "MidiTestSupport.h"

#include "VTRealtimeCheck.h"
#include "VTVirtualMidi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

using vt::miditest::ExactList;
using vt::miditest::Recorder;
using vt::testing::buildPacketList;
using vt::testing::MidiPacketSpec;

namespace {

// What a test expects of one message; data1/data2 of the record before
// the first message are 0x11 and 0x22, so kept values are visible.
struct Expected {
    uint8_t status, command, channel, data1, data2;
    double time;
};

struct ReadCase {
    std::string name;
    std::vector<MidiPacketSpec> packets;
    std::vector<Expected> expected;
    // Time stamp of the message before the list; 0 = first after start.
    uint64_t lastTime = 0;
};

void PrintTo(const ReadCase& c, std::ostream* os)
{
    *os << c.name;
}

class ReaderFixture : public ::testing::Test {
protected:
    std::vector<VTMidiMsg> read(const std::vector<MidiPacketSpec>& packets, uint64_t lastTime)
    {
        m_midi.m_msg->data1 = 0x11;
        m_midi.m_msg->data2 = 0x22;
        m_midi.m_lastTime = lastTime;
        ExactList list(buildPacketList(packets));
        Recorder recorder;
        m_midi.readPacketList(list.list(), list.size, recorder.context(m_midi));
        return recorder.messages;
    }

    void expectMessages(const std::vector<VTMidiMsg>& got, const std::vector<Expected>& expected)
    {
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            SCOPED_TRACE("message " + std::to_string(i));
            EXPECT_EQ(got[i].status, expected[i].status);
            EXPECT_EQ(got[i].command, expected[i].command);
            EXPECT_EQ(got[i].channel, expected[i].channel);
            EXPECT_EQ(got[i].data1, expected[i].data1);
            EXPECT_EQ(got[i].data2, expected[i].data2);
            EXPECT_EQ(got[i].time, expected[i].time);
            EXPECT_EQ(got[i].reference, nullptr);
        }
    }

    vt::testing::VirtualMidi m_world;
    VTCoreMidi m_midi;
};

class PacketReader : public ReaderFixture, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(PacketReader, CutsPacketsIntoMessages)
{
    const ReadCase& c = GetParam();
    expectMessages(read(c.packets, c.lastTime), c.expected);
}

constexpr uint64_t kT = 5'000'000'000; // a packet time stamp, in host units

// Well-formed input, one message kind after another.
INSTANTIATE_TEST_SUITE_P(
    MessageKinds, PacketReader,
    ::testing::Values(
        // The later message of a packet shares its time stamp: time 0. The
        // first is 1,000,000 units (1.0 ms) after the previous message.
        ReadCase{"TwoNotesInOnePacket",
                 {{kT, {0x90, 0x3C, 0x64, 0x80, 0x3C, 0x00}}},
                 {{0x90, 0x90, 0, 0x3C, 0x64, 1.0}, {0x80, 0x80, 0, 0x3C, 0x00, 0.0}},
                 kT - 1'000'000},
        // One-byte messages write neither data byte.
        ReadCase{"ClockClockStartKeepTheDataBytes",
                 {{kT, {0xF8, 0xF8, 0xFA}}},
                 {{0xF8, 0xF0, 8, 0x11, 0x22, 0}, {0xF8, 0xF0, 8, 0x11, 0x22, 0}, {0xFA, 0xF0, 10, 0x11, 0x22, 0}}},
        ReadCase{"ProgramChangeKeepsTheSecondDataByte", {{kT, {0xC5, 0x07}}}, {{0xC5, 0xC0, 5, 0x07, 0x22, 0}}},
        ReadCase{"ChannelPressureIsTwoBytes",
                 {{kT, {0xD3, 0x40, 0xD3, 0x41}}},
                 {{0xD3, 0xD0, 3, 0x40, 0x22, 0}, {0xD3, 0xD0, 3, 0x41, 0x22, 0}}},
        ReadCase{"PitchBendIsThreeBytes", {{kT, {0xEF, 0x01, 0x40}}}, {{0xEF, 0xE0, 15, 0x01, 0x40, 0}}},
        // Only the first three bytes of system exclusive reach the record;
        // the note on after it belongs to the exclusive message.
        ReadCase{"SystemExclusiveTakesTheRestOfThePacket",
                 {{kT, {0xF0, 0x7E, 0x01, 0x02, 0xF7, 0x90, 0x3C, 0x64}}},
                 {{0xF0, 0xF0, 0, 0x7E, 0x01, 0}}},
        // No running status: 0x3C stands for a message of its own.
        ReadCase{"DataByteInStatusPositionIsAMessageOfItsOwn",
                 {{kT, {0x3C, 0x64, 0x40}}},
                 {{0x3C, 0x30, 12, 0x64, 0x40, 0}}},
        ReadCase{"SystemCommonMessagesHaveTheirSizes",
                 {{kT, {0xF1, 0x21, 0xF2, 0x05, 0x06, 0xF3, 0x03, 0xF6}}},
                 {{0xF1, 0xF0, 1, 0x21, 0x22, 0},
                  {0xF2, 0xF0, 2, 0x05, 0x06, 0},
                  {0xF3, 0xF0, 3, 0x03, 0x06, 0},
                  {0xF6, 0xF0, 6, 0x03, 0x06, 0}}},
        ReadCase{"RealTimeBytesBetweenMessages",
                 {{kT, {0x90, 0x3C, 0x64, 0xF8, 0xFE, 0x80, 0x3C, 0x00}}},
                 {{0x90, 0x90, 0, 0x3C, 0x64, 0},
                  {0xF8, 0xF0, 8, 0x3C, 0x64, 0},
                  {0xFE, 0xF0, 14, 0x3C, 0x64, 0},
                  {0x80, 0x80, 0, 0x3C, 0x00, 0}}},
        // Packets are walked in order; odd lengths put the next packet at an
        // odd offset on x86_64. 2,000,000 units later is 2.0 ms.
        ReadCase{"PacketsOfOddLengthsAreWalkedInOrder",
                 {{kT, {0xF8}}, {kT + 2'000'000, {0xC1, 0x05}}, {kT + 2'000'000, {0x91, 0x40, 0x7F}}},
                 {{0xF8, 0xF0, 8, 0x11, 0x22, 0}, {0xC1, 0xC0, 1, 0x05, 0x22, 2.0}, {0x91, 0x90, 1, 0x40, 0x7F, 0}}}),
    [](const auto& info) { return info.param.name; });

// Malformed input: whatever the bytes, only complete messages inside their
// packet are delivered, and the next packet is read as usual.
INSTANTIATE_TEST_SUITE_P(
    MalformedPackets, PacketReader,
    ::testing::Values(
        // The last byte 0x90 would need two more bytes: it is dropped, and
        // the note off of the next packet still arrives.
        ReadCase{"NoteOnAsTheLastByteIsDropped",
                 {{kT, {0x90, 0x3C, 0x64, 0x90}}, {kT, {0x80, 0x3C, 0x00}}},
                 {{0x90, 0x90, 0, 0x3C, 0x64, 0}, {0x80, 0x80, 0, 0x3C, 0x00, 0}}},
        ReadCase{
            "NoteOnMissingItsLastByteIsDropped", {{kT, {0x90, 0x3C}}, {kT, {0xF8}}}, {{0xF8, 0xF0, 8, 0x11, 0x22, 0}}},
        ReadCase{"ProgramChangeWithoutItsByteIsDropped",
                 {{kT, {0xF8, 0xC0}}, {kT, {0xFA}}},
                 {{0xF8, 0xF0, 8, 0x11, 0x22, 0}, {0xFA, 0xF0, 10, 0x11, 0x22, 0}}},
        ReadCase{"SongPositionMissingAByteIsDropped", {{kT, {0xF2, 0x01}}}, {}},
        ReadCase{"LoneDataByteIsDropped", {{kT, {0x40}}, {kT, {0x41, 0x42}}}, {}},
        // A truncated message after real-time bytes: the real-time bytes
        // still arrive.
        ReadCase{"RealTimeThenTruncatedPitchBend",
                 {{kT, {0xF8, 0xFC, 0xE0, 0x00}}},
                 {{0xF8, 0xF0, 8, 0x11, 0x22, 0}, {0xFC, 0xF0, 12, 0x11, 0x22, 0}}},
        // A real-time byte inside a message is read as one of its data
        // bytes; the byte left over cannot complete a message.
        ReadCase{"RealTimeInsideAMessage", {{kT, {0x90, 0x3C, 0xF8, 0x64}}}, {{0x90, 0x90, 0, 0x3C, 0xF8, 0}}},
        ReadCase{"LoneSystemExclusiveByte", {{kT, {0xF0}}}, {{0xF0, 0xF0, 0, 0x11, 0x22, 0}}},
        ReadCase{"SystemExclusiveAfterANote",
                 {{kT, {0x90, 0x3C, 0x64, 0xF0, 0x01}}},
                 {{0x90, 0x90, 0, 0x3C, 0x64, 0}, {0xF0, 0xF0, 0, 0x01, 0x64, 0}}},
        ReadCase{"ZeroLengthPacketsAreSkipped",
                 {{kT, {}}, {kT, {0xF8}}, {kT, {}}, {kT, {}}},
                 {{0xF8, 0xF0, 8, 0x11, 0x22, 0}}},
        ReadCase{"EmptyList", {}, {}}),
    [](const auto& info) { return info.param.name; });

// Every message kind cut at every position inside it, behind a complete
// clock byte and followed by a packet holding a start byte: only the clock
// and the start arrive.
class TruncatedMessage : public ReaderFixture {};

TEST_F(TruncatedMessage, AtEveryPositionDeliversNothingOfIt)
{
    const std::vector<std::vector<uint8_t>> messages = {
        {0x80, 0x3C, 0x00}, {0x93, 0x3C, 0x64}, {0xA0, 0x3C, 0x10}, {0xB1, 0x07, 0x64}, {0xC2, 0x05},      {0xD0, 0x40},
        {0xE5, 0x00, 0x40}, {0xF1, 0x10},       {0xF2, 0x01, 0x02}, {0xF3, 0x04},       {0x3C, 0x64, 0x40}};
    for (const auto& message : messages) {
        for (std::size_t cut = 1; cut < message.size(); ++cut) {
            SCOPED_TRACE("status " + std::to_string(message[0]) + " cut after " + std::to_string(cut));
            std::vector<uint8_t> bytes(1 + cut, 0xF8);
            for (std::size_t i = 0; i < cut; ++i)
                bytes[1 + i] = message[i];
            expectMessages(read({{kT, bytes}, {kT, {0xFA}}}, 0),
                           {{0xF8, 0xF0, 8, 0x11, 0x22, 0}, {0xFA, 0xF0, 10, 0x11, 0x22, 0}});
        }
    }
}

// Lists whose header or packets claim more bytes than the list holds.
class MalformedList : public ReaderFixture {
protected:
    std::vector<VTMidiMsg> readBytes(const std::vector<uint8_t>& bytes)
    {
        ExactList list(bytes);
        Recorder recorder;
        m_midi.readPacketList(list.list(), list.size, recorder.context(m_midi));
        return recorder.messages;
    }
};

TEST_F(MalformedList, CountClaimingMorePacketsThanTheListHoldsEndsAfterTheLastWholePacket)
{
    // Two real packets, and a count of 5.
    std::vector<uint8_t> bytes = buildPacketList({{kT, {0xF8}}, {kT, {0xFA}}});
    bytes[0] = 5;
    auto got = readBytes(bytes);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].status, 0xF8);
    EXPECT_EQ(got[1].status, 0xFA);
}

TEST_F(MalformedList, PacketLengthRunningPastTheListDropsThePacket)
{
    std::vector<uint8_t> bytes = buildPacketList({{kT, {0xF8}}, {kT, {0x90, 0x3C, 0x64}}});
    // The second packet's length field sits at 4 + (10 + 1) + 8 = 23; it
    // claims 200 bytes where 3 remain.
    bytes[23] = 200;
    auto got = readBytes(bytes);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].status, 0xF8);
}

TEST_F(MalformedList, ListsShorterThanTheirHeadersDeliverNothing)
{
    for (std::size_t size : {0u, 1u, 3u, 4u + 9u}) {
        std::vector<uint8_t> bytes = buildPacketList({{kT, {0xF8}}});
        bytes.resize(size);
        EXPECT_TRUE(readBytes(bytes).empty()) << size << " bytes";
    }
}

// A list written out by hand, as Core MIDI lays it out on x86_64: the
// second packet starts right after the first one's single data byte.
TEST_F(MalformedList, HandWrittenListIsWalkedPacketByPacket)
{
#if defined(__x86_64__)
    const std::vector<uint8_t> bytes = {
        0x02, 0x00, 0x00, 0x00,                         // two packets
        0x40, 0x42, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00, // time stamp 1,000,000
        0x01, 0x00,                                     // length 1
        0xF8,                                           // clock
        0x80, 0x84, 0x1E, 0x00, 0x00, 0x00, 0x00, 0x00, // time stamp 2,000,000
        0x02, 0x00,                                     // length 2
        0xC3, 0x09,                                     // program change 9, channel 3
    };
    m_midi.m_lastTime = 0;
    auto got = readBytes(bytes);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].status, 0xF8);
    EXPECT_EQ(got[1].status, 0xC3);
    EXPECT_EQ(got[1].data1, 0x09);
    // 2,000,000 − 1,000,000 units = 1.0 ms.
    EXPECT_EQ(got[1].time, 1.0);
#else
    GTEST_SKIP() << "the layout is the x86_64 one";
#endif
}

class ReadTiming : public ReaderFixture {};

TEST_F(ReadTiming, TimeIsComputedInSinglePrecision)
{
    // 2^24 + 1 units do not fit a float: they become 2^24, and 2^24 times
    // 0.000001f is exact, so the time is 16.777216f, not 16.777217.
    auto got = read({{kT, {0xF8}}}, kT - 16'777'217);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].time, static_cast<double>(16.777216f));
}

TEST_F(ReadTiming, PacketStampedBeforeThePreviousMessageHasTimeZero)
{
    // The difference would be negative; it must not wrap to a huge time.
    auto got = read({{kT, {0xF8}}, {kT + 500'000, {0xF8}}}, kT + 1'000'000);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].time, 0.0);
    // The second packet is 500,000 units after the first: 0.5 ms.
    EXPECT_FLOAT_EQ(got[1].time, 0.5);
}

TEST_F(ReadTiming, ReadingAllocatesNothing)
{
    // A dense list: 64 packets of 3 note messages each.
    std::vector<MidiPacketSpec> packets;
    for (int i = 0; i < 64; ++i)
        packets.push_back({kT + static_cast<uint64_t>(i), {0x90, 0x3C, 0x64, 0x80, 0x3C, 0x00, 0xB0, 0x07, 0x64}});
    ExactList list(buildPacketList(packets));
    struct Counter {
        int count = 0;
        static void callback(VTMidiMsg*, void* self) { ++static_cast<Counter*>(self)->count; }
    } counter;
    VTCoreMidiInContext context{&Counter::callback, &counter, &m_midi};
    vt::testing::resetRealtimeAllocations();
    {
        vt::testing::RealtimeScope scope;
        m_midi.readPacketList(list.list(), list.size, context);
    }
    EXPECT_EQ(counter.count, 64 * 3);
    EXPECT_EQ(vt::testing::realtimeAllocationCount(), 0u);
}

} // namespace

// Every seed of the packet-list fuzz target, replayed on each test run: a
// list read within its own bytes, every message consistent with its status.
TEST_F(ReaderFixture, EveryFuzzSeedReadsWithinItsBytes)
{
    const std::filesystem::path seeds = std::filesystem::path(KINDRA_SOURCE_DIR) / "tests/corpus/midi_packet_list";
    int files = 0;
    std::size_t messages = 0;
    for (const auto& entry : std::filesystem::directory_iterator(seeds)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ExactList list(bytes);
        Recorder recorder;
        m_midi.m_lastTime = 0;
        m_midi.readPacketList(list.list(), list.size, recorder.context(m_midi));
        for (const VTMidiMsg& msg : recorder.messages) {
            EXPECT_EQ(msg.command, msg.status & 0xF0) << entry.path().filename();
            EXPECT_EQ(msg.channel, msg.status & 0x0F) << entry.path().filename();
            EXPECT_GE(msg.time, 0.0) << entry.path().filename();
        }
        messages += recorder.messages.size();
        ++files;
    }
    EXPECT_GE(files, 9);
    EXPECT_GT(messages, 0u); // the well-formed seeds really deliver
}
