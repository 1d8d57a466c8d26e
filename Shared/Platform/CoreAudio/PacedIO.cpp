#include "PacedIO.h"

#include <mach/mach_time.h>

#include <cerrno>
#include <ctime>

namespace vt::platform::audio {

namespace {

void addNanoseconds(timespec& time, uint64_t nanoseconds)
{
    uint64_t total = static_cast<uint64_t>(time.tv_nsec) + nanoseconds;
    time.tv_sec += static_cast<time_t>(total / 1'000'000'000ULL);
    time.tv_nsec = static_cast<long>(total % 1'000'000'000ULL);
}

} // namespace

bool PacedIO::start(IOClient* client, UInt32 inputChannels, UInt32 outputChannels, UInt32 frames, Float64 sampleRate)
{
    if (m_thread.joinable() || client == nullptr || frames == 0 || !(sampleRate > 0))
        return false;
    // Every buffer is made here, so the I/O thread never allocates.
    m_input.assign(static_cast<size_t>(inputChannels) * frames, 0.0f);
    m_output.assign(static_cast<size_t>(outputChannels) * frames, 0.0f);
    m_inputPointers.resize(inputChannels);
    m_outputPointers.resize(outputChannels);
    for (UInt32 c = 0; c < inputChannels; ++c)
        m_inputPointers[c] = m_input.data() + static_cast<size_t>(c) * frames;
    for (UInt32 c = 0; c < outputChannels; ++c)
        m_outputPointers[c] = m_output.data() + static_cast<size_t>(c) * frames;
    m_cycle = IOCycle{};
    m_cycle.input = m_inputPointers.data();
    m_cycle.inputChannels = inputChannels;
    m_cycle.output = m_outputPointers.data();
    m_cycle.outputChannels = outputChannels;
    m_cycle.frames = frames;
    m_cycles.store(0);
    m_running.store(true);
    m_thread = std::thread([this, client, sampleRate] { run(client, sampleRate); });
    return true;
}

void PacedIO::stop()
{
    m_running.store(false);
    if (m_thread.joinable())
        m_thread.join();
}

void PacedIO::run(IOClient* client, Float64 sampleRate)
{
    const uint64_t period = static_cast<uint64_t>(m_cycle.frames * 1e9 / sampleRate);
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    while (m_running.load(std::memory_order_acquire)) {
        // ---- one buffer, then wait for the next buffer's time, as hardware would
        m_cycle.hostTime = mach_absolute_time();
        client->ioCycle(m_cycle);
        m_cycles.fetch_add(1, std::memory_order_release);
        addNanoseconds(next, period);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
        }
    }
}

} // namespace vt::platform::audio
