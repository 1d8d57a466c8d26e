#include "VTVSTHostInterface.h"

#include "VTAudioLib.h"
#include "VTMidiLib.h"
#include "VTMidiMsg.h"
#include "VTVSTHostLib.h"
#include "VTVSTHostRegistry.h"

#include <CoreFoundation/CoreFoundation.h>
#include <mach/mach_time.h>
#include <vtplatform/RunLoop.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace {

// The device layers as the engine drives them.
auto& audioLayer(VTAudioLib& lib)
{
    return lib.m_coreaudio;
}
auto& midiLayer(VTMidiLib& lib)
{
    return lib.m_coremidi;
}

// Driver families the engine runs: bit 2 (unused here) and 16, Core Audio.
constexpr uint32_t kRunnableDeviceTypes = 2 | 16;
constexpr auto kStopSettleTime = std::chrono::milliseconds(500);

constexpr uint8_t kSystemCommand = 0xF0;
constexpr uint8_t kClock = 0xF8;
constexpr uint8_t kStart = 0xFA;
constexpr uint8_t kStop = 0xFC;
constexpr uint8_t kControlChange = 0xB0; // channel 1 only, as the filters compare
constexpr uint8_t kProgramChange = 0xC0;

// One MIDI clock tick and the plug-in's position step between clock-less
// cycles, both as the single-precision values the transport has always used.
constexpr double kBeatsPerClockTick = 0.0416666679084301; // 1/24
constexpr double kSyncedCycleStep = 0.010416666977107525; // 1/96

constexpr uint64_t kTapResetNanoseconds = 1334000000; // 1.334 s
constexpr double kLowestTapTempo = 45.0;
constexpr double kHighestTapTempo = 250.0;

const char kChunkFileName[] = "saved.chunk";
// The largest plug-in state read back or stored: a bigger "saved.chunk" is
// damaged or not ours, and is never read into memory.
constexpr long kMaxChunkBytes = 64L * 1024 * 1024;

// Host clock ticks as nanoseconds: the tick is a nanosecond on some
// machines and not on others, so the tap timing asks the clock's timebase.
uint64_t hostTicksToNanoseconds(uint64_t ticks)
{
    static const mach_timebase_info_data_t timebase = [] {
        mach_timebase_info_data_t info{};
        if (mach_timebase_info(&info) != 0 || info.numer == 0 || info.denom == 0)
            info.numer = info.denom = 1;
        return info;
    }();
    if (timebase.numer == timebase.denom)
        return ticks;
    return static_cast<uint64_t>(static_cast<long double>(ticks) * timebase.numer / timebase.denom);
}

} // namespace

VTVSTHostInterface::VTVSTHostInterface() : m_settingsWrite(std::make_shared<PendingSettingsWrite>()) {}

VTVSTHostInterface::~VTVSTHostInterface()
{
    // A running stream calls into this engine and the plug-in: it stops
    // before anything goes.
    if (m_audioStarted.load())
        stopAudio();
    // A settings write still queued on the main run loop finds nobody.
    m_settingsWrite->alive.store(false);
    // Inputs this engine started must not call into it once it is gone; the
    // MIDI layer outlives the engine in the main window.
    if (m_midiLib != nullptr && !m_midiInContexts.empty())
        stopMidiLayer();
    for (MidiInContext* context : m_midiInContexts)
        delete context;
}

// Per-cycle code is marked hot, so that it is kept together with the rest.
[[gnu::hot]] bool VTVSTHostInterface::pluginIsSynth() const
{
    return m_vstLib->m_plugin != nullptr && (m_vstLib->m_plugin->flags & effFlagsIsSynth) != 0;
}

bool VTVSTHostInterface::pluginCanDo(const char* capability) const
{
    AEffect* plugin = m_vstLib->m_plugin;
    return plugin != nullptr && plugin->dispatcher(plugin, effCanDo, 0, 0, const_cast<char*>(capability), 0.0f) == 1;
}

// ------------------------------------------------------------ start, stop

bool VTVSTHostInterface::startAudio()
{
    if (!isLinked())
        return false;
    VTAudioDevice* output = m_registry->outputDevice;
    AEffect* plugin = m_vstLib->m_plugin;

    // A playing player restarts from its beginning with the transport.
    const int playerState = m_playerPlayStatus.load();
    const bool playerArrays = m_playFrames[0] != nullptr && m_playFrames[1] != nullptr;
    if (playerState > 0 && output != nullptr && playerArrays) {
        m_audioPPQ.store(0.0);
        m_playerPlayStatus.store(0);
        m_playStatus.store(false);
        m_playStatusChanged.store(true);
    }

    stopAudio();
    if (output == nullptr)
        return false;
    VTVSTHostLib& lib = *m_vstLib;

    const bool hasInputs = plugin != nullptr && plugin->numInputs > 0;
    if (!pluginIsSynth() && hasInputs && m_registry->inputDevice == nullptr) {
        CFUserNotificationDisplayNotice(
            0, kCFUserNotificationCautionAlertLevel, nullptr, nullptr, nullptr, CFSTR("Warning"),
            CFSTR("No input device available.\r\nOnly the audio player will work."), CFSTR("OK"));
    }
    if (pluginIsSynth() || !hasInputs)
        m_registry->inputDevice = nullptr;

    // --- tell the suspended plug-in the block size the running stream will
    // deliver (the audio layer cuts anything longer) and the rate
    VTCoreAudio& layer = audioLayer(*m_audioLib);
    const uint32_t blockSize = layer.streamBufferSize(m_registry->inputDevice, output);
    layer.setMaximumFrames(blockSize);
    const float rate = static_cast<float>(output->sampleRate);
    VSTHost& host = lib.m_host;
    lib.setBlockSizeAndRate(static_cast<int>(blockSize), rate);

    const double tempo = m_tempo.load();
    m_bpmFactor = tempo / 60.0 / rate;
    m_bpmFactor2 = rate / (tempo / 60.0);
    host.m_vstTimeInfo.tempo = tempo;
    m_audioPPQ.store(0.0);
    host.m_vstTimeInfo.ppqPos = 0;
    // The plug-in's own transport button is carried out by the cycle.
    host.m_playStatusCallback = &VTVSTHostInterface::playstatuscallback;
    host.m_playStatusCustomData = this;
    lib.resumePlugin();

    // --- run the devices
    if ((output->type & kRunnableDeviceTypes) != 0) {
        if (!layer.start(m_registry->inputDevice, output, reinterpret_cast<void*>(&VTVSTHostInterface::audiocallback),
                         this)) {
            // Nothing will process: the plug-in goes back to rest.
            lib.suspendPlugin();
            return false;
        }
        m_audioStarted.store(true);
    }
    host.m_tempoCallback = &VTVSTHostInterface::tempocallback;
    host.m_tempoCustomData = this;

    if (playerState != 0 && playerArrays) {
        m_numPlayerPlayedFrames = 0;
        m_playerPlayDone = false;
        const VTAudioFileBase* file = m_audioReader.m_audioFile;
        m_counterInc = file != nullptr ? file->m_sampleRate / static_cast<double>(rate) : 0.0;
        m_counter = 0;
        m_audioPPQ.store(0.0);
        m_playerPlayStatus.store(1);
        m_playStatus.store(true);
        m_playStatusChanged.store(true);
    }
    return true;
}

void VTVSTHostInterface::stopAudio()
{
    if (!isLinked())
        return;
    VTAudioDevice* output = m_registry->outputDevice;
    if (m_audioStarted.load() && output != nullptr && (output->type & kRunnableDeviceTypes) != 0) {
        audioLayer(*m_audioLib).stop();
        // Lets a cycle that was still running finish before buffers change.
        std::this_thread::sleep_for(kStopSettleTime);
        m_audioStarted.store(false);
    }
    // Once nothing processes, the plug-in is suspended (when it was
    // resumed), so the next start reconfigures a plug-in at rest.
    if (!m_audioStarted.load())
        m_vstLib->suspendPlugin();
}

void VTVSTHostInterface::playstatuscallback(bool playing, void* engine)
{
    auto* self = static_cast<VTVSTHostInterface*>(engine);
    if (self == nullptr)
        return;
    // The next cycle applies it and, on play, rewinds m_audioPPQ.
    self->m_playStatus.store(playing);
    self->m_playStatusChanged.store(true);
}

void VTVSTHostInterface::stopMidiLayer()
{
    midiLayer(*m_midiLib).stop();
    // No input can call back any more: the contexts may go.
    for (MidiInContext* context : m_midiInContexts)
        delete context;
    m_midiInContexts.clear();
}

bool VTVSTHostInterface::startMidi()
{
    if (!isLinked())
        return false;
    stopMidiLayer();
    m_midiSync = false;
    m_midiOutDevice = nullptr;
    auto& layer = midiLayer(*m_midiLib);

    if (m_registry->midiType == 2) {
        for (VTMidiDevice* device : layer.m_devices) {
            if (device != nullptr && !device->in && device->active) {
                m_midiOutDevice = device;
                break;
            }
        }
    }

    bool failed = false;
    if (pluginCanDo("receiveVstMidiEvent")) {
        for (VTMidiDevice* record : m_registry->midiDevices) {
            if (record == nullptr || !record->in || !record->active || record->index == VTMidiDevice::kNoIndex)
                continue;
            VTMidiDevice* settings = m_registry->getMidiDevice(record);
            if (settings == nullptr)
                return false;
            auto* context = new MidiInContext{settings, this};
            m_midiInContexts.push_back(context);
            if (settings->sync)
                m_midiSync = true;
            if (!layer.start(record, nullptr, reinterpret_cast<void*>(&VTVSTHostInterface::midiincallback), context)) {
                record->active = false;
                settings->active = false;
                failed = true;
            }
        }
    }

    if (pluginCanDo("sendVstMidiEvent") && m_midiOutDevice != nullptr) {
        if (layer.start(nullptr, m_midiOutDevice, nullptr, this)) {
            m_vstLib->m_host.m_midiCallback = &VTVSTHostInterface::midioutcallback;
            m_vstLib->m_host.m_midiCustomData = this;
        } else {
            m_midiOutDevice = nullptr;
            failed = true;
        }
    }
    return !failed;
}

// ------------------------------------------------------------ audio cycle

[[gnu::hot]] bool VTVSTHostInterface::audiocallback(float** inputs, float** outputs, unsigned frames, void* engine)
{
    auto* self = static_cast<VTVSTHostInterface*>(engine);
    if (self == nullptr || outputs == nullptr || !self->isLinked())
        return false;
    return self->processCycle(inputs, outputs, frames);
}

[[gnu::hot]] bool VTVSTHostInterface::processCycle(float** inputs, float** outputs, unsigned frames)
{
    // --- a missing input is the output of the same side
    float* input[2] = {inputs != nullptr && inputs[0] != nullptr ? inputs[0] : outputs[0],
                       inputs != nullptr && inputs[1] != nullptr ? inputs[1] : outputs[1]};
    m_audioProcessing.store(true);
    VSTHost& host = m_vstLib->m_host;

    // --- transport and tempo requests; each is taken (flag cleared) before
    // its value is read, so a request made meanwhile is never lost
    if (m_playStatusChanged.exchange(false)) {
        const bool play = m_playStatus.load();
        host.setPlayStatus(play);
        if (play)
            m_audioPPQ.store(0.0);
    }
    if (m_tempoChanged.exchange(false)) {
        const double tempo = m_tempo.load();
        const VTAudioDevice* output = m_registry->outputDevice;
        const double rate = output != nullptr ? output->sampleRate : host.m_vstTimeInfo.sampleRate;
        m_bpmFactor = tempo * (1.0 / 60.0) / rate;
        host.m_vstTimeInfo.tempo = tempo;
    }

    handOverMidi();

    if (m_playerRecorderStatusChanged.exchange(false)) {
        m_playerPlayStatus.store(1);
        m_recordStatus.store(1);
        m_audioPPQ.store(0.0);
    }

    updatePosition();

    // --- the plug-in's input: the player, silence, or untouched
    const bool playerPlaying =
        m_playerPlayStatus.load() == 1 && !m_playerPlayDone && m_playFrames[0] != nullptr && m_playFrames[1] != nullptr;
    if (playerPlaying) {
        renderPlayer(input, frames);
        m_numPlayerPlayedFrames += frames;
    } else if (!pluginIsSynth() && (m_playerDialogOpen.load() || m_registry->inputDevice == nullptr)) {
        std::memset(input[0], 0, frames * sizeof(float));
        std::memset(input[1], 0, frames * sizeof(float));
    }

    // --- the plug-in works in place on the output pair: it hears the
    // chosen input only once that is there
    if (input[0] != outputs[0] || input[1] != outputs[1])
        copyInput(input, outputs, frames);

    m_vstLib->processReplacing(input, outputs, static_cast<int>(frames));

    if (m_recordStatus.load() == 1)
        record(outputs, frames);

    m_audioPPQ.store(m_audioPPQ.load() + frames * m_bpmFactor);
    m_audioProcessing.store(false);
    return true;
}

[[gnu::hot]] void VTVSTHostInterface::copyInput(float* const* input, float* const* output, unsigned frames)
{
    // Both inputs of a frame are read before either output of it is
    // written, so every way the pointers can share buffers (input left is
    // output right, both inputs one buffer, a mono output) comes out right.
    float* outLeft = output[0];
    float* outRight = output[1];
    const float* inLeft = input[0];
    const float* inRight = input[1];
    for (unsigned i = 0; i < frames; ++i) {
        const float left = inLeft[i];
        const float right = inRight[i];
        outLeft[i] = left;
        outRight[i] = right;
    }
}

[[gnu::hot]] void VTVSTHostInterface::handOverMidi()
{
    // A producer is appending: the events wait for the next cycle.
    if (!m_isFilling.tryEnter())
        return;
    const int offset = m_activeEventsOffset.load();
    VTVSTMidiEvents& queue = m_vtVSTMidiEvents[offset];
    m_activeEventsOffset.store(1 - offset);
    m_activeEvents = &m_vtVSTMidiEvents[1 - offset];
    m_isFilling.leave();

    const int count = queue.idx;
    queue.events->numEvents = count;
    queue.idx = 0;
    if (count == 0)
        return;

    AEffect* plugin = m_vstLib->m_plugin;
    if (plugin != nullptr && m_vstLib->enterAudioCommunication()) {
        plugin->dispatcher(plugin, effProcessEvents, 0, 0, queue.events, 0.0f);
        m_vstLib->leaveAudioCommunication();
    }
    // Armed player and recorder start with the first MIDI that arrives.
    int armed = 2;
    if (m_playerPlayStatus.compare_exchange_strong(armed, 1))
        m_audioPPQ.store(0.0);
    armed = 2;
    if (m_recordStatus.compare_exchange_strong(armed, 1))
        m_audioPPQ.store(0.0);
}

[[gnu::hot]] void VTVSTHostInterface::updatePosition()
{
    VstTimeInfo& time = m_vstLib->m_host.m_vstTimeInfo;
    if (!m_midiSync) {
        time.ppqPos = m_audioPPQ.load();
        return;
    }
    const double midiPPQ = m_midiPPQ.load();
    if (midiPPQ < 0)
        return;
    if (midiPPQ != m_lastMidiPPQ.load()) {
        time.ppqPos = midiPPQ;
        m_lastMidiPPQ.store(midiPPQ);
    } else {
        // No clock since the last cycle: step a little ahead, not accumulated.
        time.ppqPos = midiPPQ + kSyncedCycleStep;
    }
}

[[gnu::hot]] void VTVSTHostInterface::renderPlayer(float** input, unsigned frames)
{
    const float* left = m_playFrames[0];
    const float* right = m_playFrames[1];
    float* outLeft = input[0];
    float* outRight = input[1];
    const double end = m_numPlayerFileFrames;
    const double increment = m_counterInc.load();
    double position = m_counter.load();
    for (unsigned i = 0; i < frames; ++i) {
        if (position >= end) {
            if (!m_playerPlayLooped) {
                // The stored position stays where the sample ended.
                std::memset(outLeft + i, 0, (frames - i) * sizeof(float));
                std::memset(outRight + i, 0, (frames - i) * sizeof(float));
                m_counter.store(position);
                m_playerPlayDone.store(true);
                return;
            }
            position = 0;
        }
        // Linear interpolation; the arrays hold one extra frame (a copy of
        // the first) so frame n + 1 always exists.
        const auto n = static_cast<unsigned>(position);
        const auto fraction = static_cast<float>(position - n);
        outLeft[i] = left[n] + (left[n + 1] - left[n]) * fraction;
        outRight[i] = right[n] + (right[n + 1] - right[n]) * fraction;
        position += increment;
    }
    m_counter.store(position);
}

[[gnu::hot]] void VTVSTHostInterface::record(float** output, unsigned frames)
{
    const unsigned recorded = m_numRecordedFrames.load();
    if (m_recordFrames[0] == nullptr || m_recordFrames[1] == nullptr || recorded >= m_maxRecordFrames)
        return;
    const unsigned room = m_maxRecordFrames - recorded;
    const unsigned count = frames < room ? frames : room;
    std::memcpy(m_recordFrames[0] + recorded, output[0], count * sizeof(float));
    std::memcpy(m_recordFrames[1] + recorded, output[1], count * sizeof(float));
    m_numRecordedFrames.store(recorded + count);
}

void VTVSTHostInterface::tempocallback(double tempo, void* engine)
{
    auto* self = static_cast<VTVSTHostInterface*>(engine);
    if (self == nullptr || tempo == self->m_tempo.load())
        return;
    self->changeTempo(tempo);
    if (self->m_registry != nullptr) {
        self->m_registry->tempo = tempo;
        self->m_registry->write();
    }
}

// ------------------------------------------------------------ MIDI in/out

void VTVSTHostInterface::midiincallback(VTMidiMsg* message, void* context)
{
    auto* input = static_cast<MidiInContext*>(context);
    if (message == nullptr || input == nullptr || input->engine == nullptr || input->device == nullptr)
        return;
    // An all-zero message once asked for the context to be freed; contexts
    // now live until the layer is stopped, so it is simply not a message.
    if (message->status == 0 && message->command == 0)
        return;
    input->engine->handleMessage(*message, *input->device);
}

void VTVSTHostInterface::handleMessage(const VTMidiMsg& message, VTMidiDevice& device)
{
    if (message.command == kSystemCommand) {
        if (device.sync)
            handleClock(message, device);
        return;
    }
    if (isTap(message)) {
        tap();
        return;
    }
    if (m_midiLearn) {
        learn(message);
        return;
    }
    if (!passesFilters(message, device))
        return;
    queueMidi(message.status, message.data1, message.data2);
}

void VTVSTHostInterface::handleClock(const VTMidiMsg& message, VTMidiDevice& device)
{
    const bool playing = m_vstLib->m_host.getPlayStatus();
    switch (message.status) {
    case kStop:
        // The value goes first, so the cycle that takes the request reads it.
        m_playStatus.store(false);
        if (playing)
            m_playStatusChanged.store(true);
        break;
    case kStart: {
        m_timeDiffSum24 = 0;
        m_timeStampCount = 0;
        // The input's delay in milliseconds, as beats at the current tempo.
        const double start = m_tempo.load() / 60000.0 * device.delay;
        m_midiPPQ.store(start);
        m_lastMidiPPQ.store(start - 1);
        m_audioPPQ.store(0.0);
        m_playStatus.store(true);
        if (!playing)
            m_playStatusChanged.store(true);
        break;
    }
    case kClock:
        if ((device.syncWhilePlaying || !playing) && message.time > 0) {
            m_timeDiffSum24 += message.time;
            if (++m_timeStampCount == 24) {
                // 24 ticks are one beat: milliseconds per beat to BPM, 0.1 steps.
                const double tempo = std::floor(600000.0 / m_timeDiffSum24 + 0.5) * 0.1;
                m_timeDiffSum24 = 0;
                m_timeStampCount = 0;
                if (tempo != m_tempo.load()) {
                    changeTempo(tempo);
                    m_registry->tempo = tempo;
                }
            }
        }
        m_midiPPQ.store(m_midiPPQ.load() + kBeatsPerClockTick);
        break;
    default:
        break;
    }
}

bool VTVSTHostInterface::isTap(const VTMidiMsg& message)
{
    if (m_midiLearned == nullptr || message.status != m_midiLearned->status || message.data1 != m_midiLearned->data1)
        return false;
    if (message.status != kControlChange)
        return true;
    // A controller taps when it comes back up after having gone down.
    if (message.data2 < 65) {
        m_checkCC = true;
        return false;
    }
    if (!m_checkCC)
        return false;
    m_checkCC = false;
    return true;
}

void VTVSTHostInterface::tap()
{
    const uint64_t now = mach_absolute_time();
    const uint64_t elapsed = hostTicksToNanoseconds(now - m_lastTapTime);
    if (m_lastTapTime == 0 || elapsed >= kTapResetNanoseconds) {
        m_taptime = 0;
        m_tapcount = 0;
    } else {
        m_taptime += static_cast<unsigned>(elapsed / 1000000);
        ++m_tapcount;
        const unsigned interval = m_taptime / static_cast<unsigned>(m_tapcount);
        double tempo = interval == 0 ? kHighestTapTempo : 60000.0 / interval;
        tempo = std::fmin(std::fmax(tempo, kLowestTapTempo), kHighestTapTempo);
        tempo = std::floor(tempo * 100.0 + 0.5) * 0.01;
        if (tempo != m_tempo.load())
            changeTempo(tempo);
    }
    m_lastTapTime = now;
}

void VTVSTHostInterface::learn(const VTMidiMsg& message)
{
    delete m_midiLearned;
    m_midiLearned = new VTMidiMsg(message);
    m_midiLearn = false;
    m_checkCC = false;
    m_registry->tempoTab = message.status * 256 + message.data1;
    // The settings file is written on the main thread, which owns the
    // strings the windows change; one queued write covers any number of
    // learned messages.
    if (m_settingsWrite->pending.exchange(true))
        return;
    std::shared_ptr<PendingSettingsWrite> write = m_settingsWrite;
    VTVSTHostRegistry* registry = m_registry;
    vt::platform::performOnMainRunLoop([write, registry] {
        write->pending.store(false);
        if (write->alive.load())
            registry->write();
    });
}

bool VTVSTHostInterface::passesFilters(const VTMidiMsg& message, const VTMidiDevice& device) const
{
    const int channel = device.channel;
    if (channel != 0 && channel != message.channel + 1)
        return false;
    // The controller and program filters compare the whole status byte.
    if (device.filterCCMessages && message.status == kControlChange)
        return false;
    if (device.filterProgramChanges && message.status == kProgramChange)
        return false;
    const int key = static_cast<int8_t>(message.data1);
    return key >= device.keyboardRangeLeft && key <= device.keyboardRangeRight;
}

[[gnu::hot]] void VTVSTHostInterface::midioutcallback(VstMidiEvent* event, void* engine)
{
    auto* self = static_cast<VTVSTHostInterface*>(engine);
    if (self == nullptr || event == nullptr || self->m_midiLib == nullptr)
        return;
    midiLayer(*self->m_midiLib).sendMessage(event);
}

// ------------------------------------------------------------ plug-in state

bool VTVSTHostInterface::chunkPath(std::string& path) const
{
    std::string folder;
    if (m_registry == nullptr || !m_registry->getkeyvalue("contentpath", &folder))
        return false;
    // The setting is a folder ending in a separator; nothing is inserted.
    path = folder + kChunkFileName;
    return true;
}

void VTVSTHostInterface::readChunk()
{
    std::string path;
    if (!chunkPath(path))
        return;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return;
    long length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        length = std::ftell(file);
    if (length < 0 || length > kMaxChunkBytes || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return;
    }
    std::vector<char> bytes(static_cast<size_t>(length));
    const size_t read = length > 0 ? std::fread(bytes.data(), 1, bytes.size(), file) : 0;
    std::fclose(file);
    // A short read hands the plug-in nothing rather than half a state.
    if (read != bytes.size())
        return;
    AEffect* plugin = m_vstLib != nullptr ? m_vstLib->m_plugin : nullptr;
    if (plugin != nullptr)
        plugin->dispatcher(plugin, effSetChunk, 0, static_cast<VstIntPtr>(length), bytes.data(), 0.0f);
}

bool VTVSTHostInterface::writeChunk()
{
    std::string path;
    AEffect* plugin = m_vstLib != nullptr ? m_vstLib->m_plugin : nullptr;
    if (!chunkPath(path) || plugin == nullptr)
        return false;
    void* data = nullptr;
    const VstIntPtr size = plugin->dispatcher(plugin, effGetChunk, 0, 0, &data, 0.0f);
    // No state (or a nonsensical answer, or one too large to be read back)
    // leaves the stored one untouched.
    if (size <= 0 || size > kMaxChunkBytes || data == nullptr)
        return false;

    // Write beside the old state and swap it in only once complete, so a
    // full disk or a crash never destroys what was saved before.
    const std::string temporary = path + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool written = std::fwrite(data, 1, static_cast<size_t>(size), file) == static_cast<size_t>(size);
    written = std::fflush(file) == 0 && written;
    written = fsync(fileno(file)) == 0 && written;
    written = std::fclose(file) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
