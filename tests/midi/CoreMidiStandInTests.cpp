// The Core MIDI stand-in: endpoints and their names, ports and connections,
// the receive thread and sending to virtual destinations.
#include "VTVirtualMidi.h"

#include <CoreMIDI/CoreMIDI.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using vt::testing::buildPacketList;
using vt::testing::MidiName;
using vt::testing::MidiPacketSpec;
using vt::testing::VirtualMidi;

namespace {

// Every list a read procedure received, with the references it came with.
struct Reception {
    std::vector<MidiPacketSpec> packets;
    std::vector<void*> connections;
    std::vector<std::thread::id> threads;
    MIDIPortRef disposeOnFirst = 0;

    static void read(const MIDIPacketList* list, void* self, void* connection)
    {
        auto* r = static_cast<Reception*>(self);
        const MIDIPacket* packet = &list->packet[0];
        for (UInt32 i = 0; i < list->numPackets; ++i) {
            const Byte* bytes = reinterpret_cast<const Byte*>(packet);
            MidiPacketSpec spec;
            UInt16 length;
            __builtin_memcpy(&spec.time, bytes, 8);
            __builtin_memcpy(&length, bytes + 8, 2);
            spec.bytes.assign(bytes + 10, bytes + 10 + length);
            r->packets.push_back(spec);
            packet = MIDIPacketNext(packet);
        }
        r->connections.push_back(connection);
        r->threads.push_back(std::this_thread::get_id());
        if (r->disposeOnFirst != 0) {
            MIDIPortDispose(r->disposeOnFirst);
            r->disposeOnFirst = 0;
        }
    }
};

class CoreMidiStandIn : public ::testing::Test {
protected:
    CoreMidiStandIn() { EXPECT_EQ(MIDIClientCreate(CFSTR("test"), nullptr, nullptr, &m_client), noErr); }
    ~CoreMidiStandIn() override { MIDIClientDispose(m_client); }

    MIDIPortRef inputPort(Reception& reception)
    {
        MIDIPortRef port = 0;
        EXPECT_EQ(MIDIInputPortCreate(m_client, CFSTR("in"), &Reception::read, &reception, &port), noErr);
        return port;
    }

    VirtualMidi m_world;
    MIDIClientRef m_client = 0;
};

std::string stringProperty(MIDIObjectRef object, CFStringRef property, OSStatus& status)
{
    CFStringRef value = nullptr;
    status = MIDIObjectGetStringProperty(object, property, &value);
    if (value == nullptr)
        return "<none>";
    char buffer[256] = {};
    CFStringGetCString(value, buffer, sizeof buffer, kCFStringEncodingUTF8);
    CFRelease(value);
    return buffer;
}

TEST_F(CoreMidiStandIn, EndpointsAreListedInCreationOrderAndRemovalClosesTheGap)
{
    MIDIEndpointRef a = m_world.addSource(MidiName::text("a"));
    MIDIEndpointRef b = m_world.addSource(MidiName::text("b"));
    MIDIEndpointRef c = m_world.addSource(MidiName::text("c"));
    MIDIEndpointRef out = m_world.addDestination(MidiName::text("out"));
    ASSERT_EQ(MIDIGetNumberOfSources(), 3u);
    EXPECT_EQ(MIDIGetSource(0), a);
    EXPECT_EQ(MIDIGetSource(2), c);
    EXPECT_EQ(MIDIGetSource(3), 0u);
    ASSERT_EQ(MIDIGetNumberOfDestinations(), 1u);
    EXPECT_EQ(MIDIGetDestination(0), out);

    m_world.remove(b);
    ASSERT_EQ(MIDIGetNumberOfSources(), 2u);
    EXPECT_EQ(MIDIGetSource(1), c);
    // A removed endpoint's reference is never handed out again.
    EXPECT_NE(m_world.addSource(MidiName::text("d")), b);
}

TEST_F(CoreMidiStandIn, NamePropertiesAnswerTheirTextOrAnError)
{
    MIDIEndpointRef both = m_world.addSource(MidiName::text("Shown"), MidiName::text("Plain"));
    MIDIEndpointRef plainOnly = m_world.addDestination(MidiName::unreadable(), MidiName::text("Only"));
    OSStatus status = 0;

    EXPECT_EQ(stringProperty(both, kMIDIPropertyDisplayName, status), "Shown");
    EXPECT_EQ(status, noErr);
    EXPECT_EQ(stringProperty(both, kMIDIPropertyName, status), "Plain");
    EXPECT_EQ(stringProperty(plainOnly, kMIDIPropertyDisplayName, status), "<none>");
    EXPECT_EQ(status, kMIDIUnknownProperty);
    EXPECT_EQ(stringProperty(plainOnly, kMIDIPropertyName, status), "Only");
    EXPECT_EQ(stringProperty(both, CFSTR("manufacturer"), status), "<none>");
    EXPECT_EQ(status, kMIDIUnknownProperty);
    EXPECT_EQ(stringProperty(m_client, kMIDIPropertyName, status), "<none>");
    EXPECT_EQ(status, kMIDIObjectNotFound);
}

TEST_F(CoreMidiStandIn, ReadProcedureRunsOnTheReceiveThreadWithItsReferencesInDeliveryOrder)
{
    MIDIEndpointRef a = m_world.addSource(MidiName::text("a"));
    MIDIEndpointRef b = m_world.addSource(MidiName::text("b"));
    Reception reception;
    MIDIPortRef port = inputPort(reception);
    int connectionA = 0, connectionB = 0;
    ASSERT_EQ(MIDIPortConnectSource(port, a, &connectionA), noErr);
    ASSERT_EQ(MIDIPortConnectSource(port, b, &connectionB), noErr);

    // Alternating sources, several packets per list.
    std::vector<MidiPacketSpec> expected;
    for (uint8_t i = 0; i < 20; ++i) {
        std::vector<MidiPacketSpec> list = {{1000u + i, {0x90, i, 0x40}}, {2000u + i, {0xF8}}};
        ASSERT_TRUE(m_world.deliver(i % 2 ? b : a, list));
        expected.insert(expected.end(), list.begin(), list.end());
    }
    m_world.waitUntilHandled();

    EXPECT_EQ(reception.packets, expected);
    ASSERT_EQ(reception.connections.size(), 20u);
    EXPECT_EQ(reception.connections[0], &connectionA);
    EXPECT_EQ(reception.connections[1], &connectionB);
    for (std::thread::id thread : reception.threads)
        EXPECT_NE(thread, std::this_thread::get_id());
}

TEST_F(CoreMidiStandIn, DisconnectedSourceNoLongerReachesThePort)
{
    MIDIEndpointRef source = m_world.addSource(MidiName::text("s"));
    Reception reception;
    MIDIPortRef port = inputPort(reception);
    ASSERT_EQ(MIDIPortConnectSource(port, source, nullptr), noErr);
    EXPECT_TRUE(m_world.isConnected(source));
    ASSERT_TRUE(m_world.deliver(source, {{1, {0xF8}}}));
    ASSERT_EQ(MIDIPortDisconnectSource(port, source), noErr);
    EXPECT_FALSE(m_world.isConnected(source));
    ASSERT_TRUE(m_world.deliver(source, {{2, {0xFA}}}));
    m_world.waitUntilHandled();

    // The list delivered while connected may or may not have been handled
    // before the disconnection; the later one never reaches the port.
    for (const auto& packet : reception.packets)
        EXPECT_EQ(packet.time, 1u);
    EXPECT_EQ(MIDIPortDisconnectSource(port, source), kMIDINoConnection);
}

TEST_F(CoreMidiStandIn, ReadProcedureMayDisposeOfItsOwnPort)
{
    MIDIEndpointRef source = m_world.addSource(MidiName::text("s"));
    Reception reception;
    MIDIPortRef port = inputPort(reception);
    reception.disposeOnFirst = port;
    ASSERT_EQ(MIDIPortConnectSource(port, source, nullptr), noErr);
    ASSERT_TRUE(m_world.deliver(source, {{1, {0xF8}}}));
    ASSERT_TRUE(m_world.deliver(source, {{2, {0xF8}}}));
    m_world.waitUntilHandled();

    ASSERT_EQ(reception.packets.size(), 1u);
    EXPECT_EQ(MIDIPortDispose(port), kMIDIInvalidPort);
}

TEST_F(CoreMidiStandIn, DisposingOfTheClientDisposesOfItsPorts)
{
    MIDIClientRef other = 0;
    ASSERT_EQ(MIDIClientCreate(CFSTR("other"), nullptr, nullptr, &other), noErr);
    MIDIPortRef in = 0, out = 0, mine = 0;
    ASSERT_EQ(MIDIInputPortCreate(other, CFSTR("in"), &Reception::read, nullptr, &in), noErr);
    ASSERT_EQ(MIDIOutputPortCreate(other, CFSTR("out"), &out), noErr);
    ASSERT_EQ(MIDIOutputPortCreate(m_client, CFSTR("mine"), &mine), noErr);

    ASSERT_EQ(MIDIClientDispose(other), noErr);
    auto ports = m_world.ports();
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].ref, mine);
    EXPECT_EQ(MIDIClientDispose(other), kMIDIInvalidClient);
    EXPECT_EQ(MIDIInputPortCreate(other, CFSTR("late"), &Reception::read, nullptr, &in), kMIDIInvalidClient);
}

TEST_F(CoreMidiStandIn, SendReachesOnlyDestinationsThroughLiveOutputPorts)
{
    MIDIEndpointRef source = m_world.addSource(MidiName::text("s"));
    MIDIEndpointRef destination = m_world.addDestination(MidiName::text("d"));
    MIDIPortRef out = 0;
    ASSERT_EQ(MIDIOutputPortCreate(m_client, CFSTR("out"), &out), noErr);
    Reception reception;
    MIDIPortRef in = inputPort(reception);
    std::vector<uint8_t> list = buildPacketList({{10, {0x90, 0x3C, 0x64}}, {20, {0xF8}}});
    const auto* packets = reinterpret_cast<const MIDIPacketList*>(list.data());

    EXPECT_EQ(MIDISend(out, destination, packets), noErr);
    EXPECT_EQ(m_world.takeSent(destination), (std::vector<MidiPacketSpec>{{10, {0x90, 0x3C, 0x64}}, {20, {0xF8}}}));

    EXPECT_EQ(MIDISend(out, source, packets), kMIDIWrongEndpointType);
    EXPECT_EQ(MIDISend(in, destination, packets), kMIDIInvalidPort);
    EXPECT_EQ(MIDISend(out, 0, packets), kMIDIUnknownEndpoint);
    ASSERT_EQ(MIDIPortDispose(out), noErr);
    EXPECT_EQ(MIDISend(out, destination, packets), kMIDIInvalidPort);
    EXPECT_TRUE(m_world.takeSent(destination).empty());
}

TEST_F(CoreMidiStandIn, MalformedListsAreRefusedAtDelivery)
{
    MIDIEndpointRef source = m_world.addSource(MidiName::text("s"));
    Reception reception;
    MIDIPortRef port = inputPort(reception);
    ASSERT_EQ(MIDIPortConnectSource(port, source, nullptr), noErr);

    std::vector<uint8_t> claimsMore = buildPacketList({{1, {0xF8}}});
    claimsMore[0] = 2; // two packets claimed, one held
    std::vector<uint8_t> lengthTooLong = buildPacketList({{1, {0xF8}}});
    lengthTooLong[12] = 2; // a 2-byte packet in a list that holds 1 data byte
    std::vector<uint8_t> shorterThanHeader = {0x01, 0x00};
    EXPECT_FALSE(m_world.deliverBytes(source, claimsMore));
    EXPECT_FALSE(m_world.deliverBytes(source, lengthTooLong));
    EXPECT_FALSE(m_world.deliverBytes(source, shorterThanHeader));
    // Lists from an endpoint that is no source are refused too.
    EXPECT_FALSE(m_world.deliver(m_world.addDestination(MidiName::text("d")), {{1, {0xF8}}}));

    ASSERT_TRUE(m_world.deliver(source, {{3, {0xFA}}}));
    m_world.waitUntilHandled();
    EXPECT_EQ(reception.packets, (std::vector<MidiPacketSpec>{{3, {0xFA}}}));
}

TEST(MidiPacketNext, NextPacketFollowsTheDataOnX86_64)
{
#if defined(__x86_64__)
    // A packet of 1 data byte at offset 4: header 10 bytes, so the next
    // packet starts at 4 + 10 + 1 = 15, not at a multiple of 4.
    std::vector<uint8_t> list = buildPacketList({{1, {0xF8}}, {2, {0xC0, 0x01}}});
    const auto* first = &reinterpret_cast<const MIDIPacketList*>(list.data())->packet[0];
    const MIDIPacket* second = MIDIPacketNext(first);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(second) - list.data(), 15);
    // Its length field (2) sits 8 bytes further.
    EXPECT_EQ(list[15 + 8], 2);
#else
    GTEST_SKIP() << "the layout is the x86_64 one";
#endif
}

} // namespace
