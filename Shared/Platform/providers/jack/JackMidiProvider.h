// MIDI endpoints of a running JACK server: sources are other clients' MIDI
// output ports, destinations their MIDI input ports, listed when a Core
// MIDI client is created and kept (by port name) for the whole run. The
// JACK client "Veltrane MIDI" gets one input port per opened source and the
// output port the system creates. Input leaves the process thread through
// a delivery ring to the receive thread; output reaches the process thread
// through a ring that the sending thread fills.
#pragma once

#include "../../CoreMIDI/ByteRing.h"
#include "../../CoreMIDI/MidiProvider.h"

#include <jack/jack.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

namespace vt::platform::midi {

class JackMidiProvider final : public Provider {
public:
    static JackMidiProvider& instance();

    CFStringRef copyName(uint32_t localId, NameProperty property) override;
    OSStatus send(uint32_t localId, const MIDIPacketList* list) override;
    void sourceConnected(uint32_t localId, const char* portName) override;
    void sourceDisconnected(uint32_t localId) override;
    void clientCreated() override;
    void clientDisposed() override;
    void outputPortCreated(const char* portName) override;
    void outputPortDisposed() override;

private:
    static constexpr uint32_t kMaxEndpoints = 4096;
    static constexpr uint32_t kMaxInputs = 64;
    static constexpr uint32_t kNone = 0xFFFFFFFFU;

    // Written once, before its endpoint is published.
    struct Endpoint {
        std::string port; // the JACK port's full name
        std::string displayName;
        bool source = false;
        MIDIEndpointRef ref = 0; // set on the main thread before any use
    };
    struct InputSlot {
        std::atomic<jack_port_t*> port{nullptr};
        std::atomic<MIDIEndpointRef> source{0};
        uint32_t localId = kNone; // main thread
    };
    // One event on its way out, as the output ring holds it.
    struct OutHeader {
        uint32_t destination;
        uint32_t length;
        MIDITimeStamp time;
    };

    JackMidiProvider();
    void openClient();
    void closeClient();
    void listEndpoints();
    void quiesce() const;
    void runConnector();
    void deliverInput(jack_nframes_t frames, uint64_t cycleStart, double nanosPerFrame);
    void writeOutput(jack_nframes_t frames, uint64_t cycleStart, double nanosPerFrame);

    static int process(jack_nframes_t frames, void* arg);
    static void shutdown(void* arg);

    // ---- main thread
    int m_clients = 0;
    int m_outputUsers = 0;
    jack_client_t* m_client = nullptr;
    std::unique_ptr<Endpoint[]> m_endpoints{new Endpoint[kMaxEndpoints]};
    std::atomic<uint32_t> m_endpointCount{0};
    DeliveryChannel* m_channel = nullptr;

    // ---- shared with the process thread
    InputSlot m_inputs[kMaxInputs];
    std::atomic<jack_port_t*> m_outPort{nullptr};
    std::atomic<bool> m_inCycle{false};
    std::atomic<bool> m_serverGone{false};
    ByteRing m_outRing{1 << 16};
    OutHeader m_pending{};
    Byte m_pendingBytes[256];
    bool m_hasPending = false;
    alignas(8) Byte m_scratch[kMaxDeliveredListBytes];

    // ---- the thread that connects the output port to the destination the
    // sending thread names: connecting asks the server and may block
    std::thread m_connector;
    std::mutex m_portMutex; // the output port, between main thread and connector
    std::counting_semaphore<> m_connectWake{0};
    std::atomic<bool> m_connectorStop{false};
    std::atomic<uint32_t> m_wantedDestination{kNone};
    std::atomic<uint32_t> m_connectedDestination{kNone};
    std::atomic<uint32_t> m_failedDestination{kNone};
};

} // namespace vt::platform::midi
