// JACK servers and clients of the tests' own: a private dummy-backed
// jackd for a test that kills its server or needs a second port group, a
// client that plays and captures on the server, and a pitch measure.
#pragma once

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <vtplatform/AudioServer.h>

#include "VTVSTInterface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace jacktest {

// Waits for a condition, polling; false when it did not hold in time.
inline bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    auto until = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline void quiet(const char*) {}

inline jack_client_t* openOn(const std::string& server, const std::string& name)
{
    jack_set_error_function(&quiet);
    jack_set_info_function(&quiet);
    jack_status_t status{};
    return jack_client_open(name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status,
                            server.c_str());
}

// The server the run started (JACK_DEFAULT_SERVER, or the default one).
inline std::string ciServerName()
{
    const char* name = std::getenv("JACK_DEFAULT_SERVER");
    return name != nullptr && *name != '\0' ? name : "default";
}

// A jackd of the test's own, dummy-backed, named uniquely; the process's
// JACK_DEFAULT_SERVER names it while it lives.
class PrivateServer {
public:
    explicit PrivateServer(unsigned period = 256, unsigned rate = 48000)
    {
        const char* previous = std::getenv("JACK_DEFAULT_SERVER");
        m_previous = previous != nullptr ? previous : "";
        m_hadPrevious = previous != nullptr;
        // A few names per run's server, taken in turn: a name a parallel
        // test holds is refused at once, and the slot of a server that died
        // without a word is taken back by the next one of its name (the
        // machine's JACK registry holds eight servers).
        for (int slot = 1; slot <= 6 && !m_up; ++slot) {
            m_name = "kindra-test-" + ciServerName() + "-" + std::to_string(slot);
            m_up = start(period, rate);
        }
        // libjack serves one server per process: the provider moves over
        // before the test opens clients of its own.
        vt::platform::audioServerReadout();
    }
    ~PrivateServer()
    {
        kill();
        if (m_hadPrevious)
            setenv("JACK_DEFAULT_SERVER", m_previous.c_str(), 1);
        else
            unsetenv("JACK_DEFAULT_SERVER");
        vt::platform::audioServerReadout();
    }
    bool up() const { return m_up; }

private:
    bool start(unsigned period, unsigned rate)
    {
        // A name a parallel test's server answers to is not ours to take.
        if (jack_client_t* other = openOn(m_name, "probe")) {
            jack_client_close(other);
            return false;
        }
        std::string p = std::to_string(period), r = std::to_string(rate);
        m_pid = fork();
        if (m_pid == 0) {
            // Never outlives the test, even one that crashes.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            int devnull = ::open("/dev/null", O_WRONLY);
            dup2(devnull, 1);
            dup2(devnull, 2);
            execlp("jackd", "jackd", "--no-realtime", "-n", m_name.c_str(), "-d", "dummy", "-r", r.c_str(), "-p",
                   p.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        setenv("JACK_DEFAULT_SERVER", m_name.c_str(), 1);
        bool exited = false;
        bool up = waitFor([&] {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                exited = true;
                return true;
            }
            if (jack_client_t* probe = openOn(m_name, "probe")) {
                jack_client_close(probe);
                return true;
            }
            return false;
        });
        // A server that answers while ours is refused is another test's:
        // ours must still run a moment later.
        if (!exited && up) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            exited = waitpid(m_pid, nullptr, WNOHANG) == m_pid;
        }
        if (exited || !up) {
            if (!exited)
                kill();
            m_pid = -1;
            return false;
        }
        return true;
    }

public:
    const std::string& name() const { return m_name; }
    // Stops the server as a user stopping jackd does. (A server killed
    // outright keeps its slot in the machine's JACK registry, of which
    // there are eight.)
    void kill()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    std::string m_name;
    std::string m_previous;
    bool m_hadPrevious = false;
    pid_t m_pid = -1;
    bool m_up = false;
};

// A client of the test on the current server: audio ports that capture
// what reaches them and ports that play a constant, and one MIDI output
// port that sends queued three-byte messages.
class TestClient {
public:
    explicit TestClient(const std::string& name, unsigned long extraFlags = 0) : m_flags(extraFlags)
    {
        m_client = openOn(ciServerName(), name);
        if (m_client == nullptr)
            return;
        m_midi = jack_ringbuffer_create(4096);
        jack_set_process_callback(m_client, &TestClient::process, this);
        jack_set_xrun_callback(
            m_client,
            [](void* arg) {
                static_cast<TestClient*>(arg)->m_xruns.fetch_add(1);
                return 0;
            },
            this);
    }
    ~TestClient()
    {
        if (m_client != nullptr)
            jack_client_close(m_client);
        if (m_midi != nullptr)
            jack_ringbuffer_free(m_midi);
    }
    bool ok() const { return m_client != nullptr; }
    jack_client_t* client() const { return m_client; }
    std::string name() const { return jack_get_client_name(m_client); }

    // Before activate: one capture port (its samples kept), ports that play
    // `value`, and a MIDI output port.
    void addCapture(const std::string& port)
    {
        m_capture = registerPort(port, JackPortIsInput, JACK_DEFAULT_AUDIO_TYPE);
        m_tape = std::make_unique<float[]>(kTapeLength);
    }
    void addSource(const std::string& port, float value)
    {
        m_sources.push_back(registerPort(port, JackPortIsOutput, JACK_DEFAULT_AUDIO_TYPE));
        m_values.push_back(value);
    }
    void addSink(const std::string& port) { registerPort(port, JackPortIsInput, JACK_DEFAULT_AUDIO_TYPE); }
    void addMidiOut(const std::string& port)
    {
        m_midiOut = registerPort(port, JackPortIsOutput, JACK_DEFAULT_MIDI_TYPE);
    }
    void addMidiIn(const std::string& port) { m_midiIn = registerPort(port, JackPortIsInput, JACK_DEFAULT_MIDI_TYPE); }
    bool activate() { return jack_activate(m_client) == 0; }

    void sendMidi(unsigned char status, unsigned char data1, unsigned char data2)
    {
        unsigned char bytes[3] = {status, data1, data2};
        jack_ringbuffer_write(m_midi, reinterpret_cast<const char*>(bytes), 3);
    }
    // Samples captured since the last take.
    std::vector<float> takeCaptured()
    {
        const size_t end = m_tapeEnd.load(std::memory_order_acquire);
        std::vector<float> samples(m_tape.get() + m_taken, m_tape.get() + end);
        m_taken = end;
        return samples;
    }
    // MIDI bytes received on the MIDI input port so far.
    std::vector<unsigned char> received()
    {
        std::vector<unsigned char> bytes;
        for (int i = 0, n = m_receivedCount.load(); i < n; ++i)
            bytes.push_back(m_received[i]);
        return bytes;
    }
    uint64_t cycles() const { return m_cycles.load(); }
    int xruns() const { return m_xruns.load(); }

private:
    jack_port_t* registerPort(const std::string& port, unsigned long flags, const char* type)
    {
        jack_port_t* made = jack_port_register(m_client, port.c_str(), type, flags | m_flags, 0);
        EXPECT_NE(made, nullptr) << port;
        return made;
    }

    static int process(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<TestClient*>(arg);
        if (self->m_capture != nullptr) {
            auto* in = static_cast<float*>(jack_port_get_buffer(self->m_capture, frames));
            const size_t end = self->m_tapeEnd.load(std::memory_order_relaxed);
            const size_t kept = std::min<size_t>(frames, kTapeLength - end);
            std::copy(in, in + kept, self->m_tape.get() + end);
            self->m_tapeEnd.store(end + kept, std::memory_order_release);
        }
        for (size_t p = 0; p < self->m_sources.size(); ++p) {
            auto* out = static_cast<float*>(jack_port_get_buffer(self->m_sources[p], frames));
            for (jack_nframes_t i = 0; i < frames; ++i)
                out[i] = self->m_values[p];
        }
        if (self->m_midiOut != nullptr) {
            void* buffer = jack_port_get_buffer(self->m_midiOut, frames);
            jack_midi_clear_buffer(buffer);
            unsigned char bytes[3];
            while (jack_ringbuffer_read_space(self->m_midi) >= 3) {
                jack_ringbuffer_read(self->m_midi, reinterpret_cast<char*>(bytes), 3);
                jack_midi_event_write(buffer, 0, bytes, 3);
            }
        }
        if (self->m_midiIn != nullptr) {
            void* buffer = jack_port_get_buffer(self->m_midiIn, frames);
            for (uint32_t i = 0, n = jack_midi_get_event_count(buffer); i < n; ++i) {
                jack_midi_event_t event;
                if (jack_midi_event_get(&event, buffer, i) != 0)
                    continue;
                for (size_t b = 0; b < event.size; ++b) {
                    int at = self->m_receivedCount.load();
                    if (at < static_cast<int>(sizeof self->m_received)) {
                        self->m_received[at] = event.buffer[b];
                        self->m_receivedCount.store(at + 1);
                    }
                }
            }
        }
        self->m_cycles.fetch_add(1);
        return 0;
    }

    unsigned long m_flags;
    jack_client_t* m_client = nullptr;
    jack_port_t* m_capture = nullptr;
    jack_port_t* m_midiOut = nullptr;
    jack_port_t* m_midiIn = nullptr;
    std::vector<jack_port_t*> m_sources;
    std::vector<float> m_values;
    // What the capture port heard since activation, kept whole (a minute at
    // 48 kHz): the process thread appends and publishes the end, the test
    // reads up to it. Atomics, unlike libjack's ring, are seen by
    // ThreadSanitizer, which otherwise checks every copied sample.
    static constexpr size_t kTapeLength = 48000 * 60;
    std::unique_ptr<float[]> m_tape;
    std::atomic<size_t> m_tapeEnd{0};
    size_t m_taken = 0;
    jack_ringbuffer_t* m_midi = nullptr;
    unsigned char m_received[4096] = {};
    std::atomic<int> m_receivedCount{0};
    std::atomic<uint64_t> m_cycles{0};
    std::atomic<int> m_xruns{0};
};

// While the server falls behind (an xrun) it can run the clients of a cycle
// out of order, and a message written then misses the reader connected to
// it. Sends again only in that case, counted by `witness`, a client on the
// same server; a message lost without an xrun is a failure.
inline bool sentAndHeard(const TestClient& witness, const std::function<void()>& send,
                         const std::function<bool()>& heard)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int xruns = witness.xruns();
        send();
        if (waitFor(heard, std::chrono::seconds(5)))
            return true;
        if (witness.xruns() == xruns)
            return false;
    }
    return false;
}

// The connections of a port, by full name.
inline std::vector<std::string> connections(jack_client_t* client, const std::string& port)
{
    std::vector<std::string> names;
    jack_port_t* found = jack_port_by_name(client, port.c_str());
    if (found == nullptr)
        return names;
    const char** list = jack_port_get_all_connections(client, found);
    for (const char** name = list; name != nullptr && *name != nullptr; ++name)
        names.push_back(*name);
    jack_free(list);
    return names;
}

inline bool portExists(jack_client_t* client, const std::string& port)
{
    return jack_port_by_name(client, port.c_str()) != nullptr;
}

// The server's graph changes show from the next cycle on: these wait for
// them (and fail when they never come).
inline bool connectedTo(jack_client_t* client, const std::string& port, const std::vector<std::string>& expected)
{
    return waitFor([&] { return connections(client, port) == expected; }, std::chrono::seconds(5));
}

inline bool goneSoon(jack_client_t* client, const std::string& port)
{
    return waitFor([&] { return !portExists(client, port); }, std::chrono::seconds(5));
}

// The frequency of a periodic signal, from its rising zero crossings
// (interpolated between samples); 0 when it has fewer than two.
inline double frequencyOf(const std::vector<float>& samples, double sampleRate)
{
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            double at = static_cast<double>(i - 1) + samples[i - 1] / (samples[i - 1] - samples[i]);
            if (first < 0)
                first = at;
            last = at;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0;
    return (crossings - 1) * sampleRate / (last - first);
}

} // namespace jacktest
