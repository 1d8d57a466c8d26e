// Messages per second through the MIDI layer's read procedure to a
// callback that copies each message, as the engine does, and the
// allocations made per message (must be 0).
#include <VTCoreMidi.h>

#include "VTRealtimeCheck.h"
#include "VTVirtualMidi.h"

#include <benchmark/benchmark.h>

#include <array>
#include <vector>

namespace {

// Copies every message into a preallocated queue, like the engine's
// event buffer.
struct CopyingSink {
    std::array<VTMidiMsg, 1024> queue{};
    std::size_t count = 0;

    static void callback(VTMidiMsg* msg, void* self)
    {
        auto* sink = static_cast<CopyingSink*>(self);
        sink->queue[sink->count++ % sink->queue.size()] = *msg;
    }
};

// A dense stream of 3-byte messages: 1,024 messages in packets of
// messagesPerPacket each, 1 µs apart.
std::vector<uint8_t> denseList(int messagesPerPacket)
{
    std::vector<vt::testing::MidiPacketSpec> packets;
    for (int message = 0; message < 1024;) {
        vt::testing::MidiPacketSpec packet{1'000'000u + static_cast<uint64_t>(message) * 1000u, {}};
        for (int i = 0; i < messagesPerPacket && message < 1024; ++i, ++message) {
            uint8_t note = static_cast<uint8_t>(message % 128);
            packet.bytes.insert(packet.bytes.end(), {static_cast<uint8_t>(0x90 | (message % 16)), note, 0x64});
        }
        packets.push_back(std::move(packet));
    }
    return vt::testing::buildPacketList(packets);
}

void BM_ReadProcedure(benchmark::State& state)
{
    vt::testing::VirtualMidi world;
    VTCoreMidi midi;
    CopyingSink sink;
    VTCoreMidiInContext context{&CopyingSink::callback, &sink, &midi};
    std::vector<uint8_t> list = denseList(static_cast<int>(state.range(0)));
    const auto* packets = reinterpret_cast<const MIDIPacketList*>(list.data());

    vt::testing::resetRealtimeAllocations();
    for (auto _ : state) {
        vt::testing::RealtimeScope scope;
        VTCoreMidi::MidiInCallback(packets, &context, nullptr);
        benchmark::DoNotOptimize(sink.queue.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(sink.count));
    state.counters["allocs_per_msg"] =
        static_cast<double>(vt::testing::realtimeAllocationCount()) / static_cast<double>(sink.count);
}
BENCHMARK(BM_ReadProcedure)->Arg(1)->Arg(4)->Arg(16)->Arg(64);

} // namespace

BENCHMARK_MAIN();
