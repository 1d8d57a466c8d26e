// The Kindra bundle loaded through the hosting library, with the host's
// callbacks recording what the instrument asks of it.
#pragma once

#include "KindraEffect.h"
#include "VTVSTHostLib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

namespace kindra {

struct MidiOut {
    int frame;
    unsigned char status, data1, data2;
};

// What the host's callbacks saw; capacity reserved so that recording from
// the audio thread allocates nothing.
struct Recorder {
    Recorder()
    {
        midi.reserve(4096);
        tempos.reserve(64);
        bounces.reserve(64);
    }
    std::vector<MidiOut> midi;
    std::vector<double> tempos;
    int sizeChanges = 0;
    std::vector<std::pair<bool, int>> bounces;
};

inline void onMidi(VstMidiEvent* event, void* data)
{
    static_cast<Recorder*>(data)->midi.push_back(
        MidiOut{event->deltaFrames, static_cast<unsigned char>(event->midiData[0]),
                static_cast<unsigned char>(event->midiData[1]), static_cast<unsigned char>(event->midiData[2])});
}
inline void onTempo(double tempo, void* data)
{
    static_cast<Recorder*>(data)->tempos.push_back(tempo);
}
inline void onSize(void* data)
{
    ++static_cast<Recorder*>(data)->sizeChanges;
}
inline void onBounce(bool done, int frames, void* data)
{
    static_cast<Recorder*>(data)->bounces.emplace_back(done, frames);
}

struct Event {
    int frame;
    unsigned char status, data1, data2;
};

class LoadedKindra {
public:
    LoadedKindra()
    {
        // No test may depend on a display being there.
        unsetenv("DISPLAY");
        loaded = lib.loadPlugin(KINDRA_PLUGIN_BUNDLE, nullptr, nullptr, 0, false);
        lib.m_host.m_midiCallback = onMidi;
        lib.m_host.m_midiCustomData = &recorder;
        lib.m_host.m_tempoCallback = onTempo;
        lib.m_host.m_tempoCustomData = &recorder;
        lib.m_host.m_SizeChangedCallback = onSize;
        lib.m_host.m_m_SizeChangedData = &recorder;
        lib.m_host.m_bounceDoneCallback = onBounce;
        lib.m_host.m_bounceDoneCustomData = &recorder;
        left.assign(kMaxFrames, 0.0f);
        right.assign(kMaxFrames, 0.0f);
        events.reserve(64);
        midiEvents.reserve(64);
        list.assign(sizeof(VstEvents) + 64 * sizeof(VstEvent*), 0);
    }
    ~LoadedKindra()
    {
        if (lib.m_plugin != nullptr)
            dispatch(effEditClose);
        // Suspends and closes the plug-in, once.
        lib.unloadPlugin();
    }
    LoadedKindra(const LoadedKindra&) = delete;
    LoadedKindra& operator=(const LoadedKindra&) = delete;

    static constexpr int kMaxFrames = 8192;

    AEffect* effect() const { return lib.m_plugin; }
    KindraEffect& object() const { return *KindraEffect::from(lib.m_plugin); }
    VTEffectCommands& commands() const { return *vtEffectCommands(lib.m_plugin); }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) const
    {
        return lib.m_plugin->dispatcher(lib.m_plugin, opcode, index, value, ptr, opt);
    }
    void setParameter(int index, float value) const { lib.m_plugin->setParameter(lib.m_plugin, index, value); }
    float getParameter(int index) const { return lib.m_plugin->getParameter(lib.m_plugin, index); }

    // The engine's steps at audio start.
    void start(float sampleRate)
    {
        lib.m_host.m_vstTimeInfo.sampleRate = sampleRate;
        dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
        dispatch(effSetBlockSize, 0, 512);
        dispatch(effMainsChanged, 0, 1);
    }

    // Hands the events to the instrument as the engine does before a block.
    // A list of the events as effProcessEvents takes it, valid until the
    // next call; building it allocates, handing it over must not.
    VstEvents* prepare(std::initializer_list<Event> block)
    {
        midiEvents.clear();
        for (const Event& e : block) {
            VstMidiEvent m{};
            m.type = kVstMidiType;
            m.byteSize = sizeof(VstMidiEvent);
            m.deltaFrames = e.frame;
            m.midiData[0] = static_cast<char>(e.status);
            m.midiData[1] = static_cast<char>(e.data1);
            m.midiData[2] = static_cast<char>(e.data2);
            midiEvents.push_back(m);
        }
        auto* events = reinterpret_cast<VstEvents*>(list.data());
        events->numEvents = static_cast<VstInt32>(midiEvents.size());
        for (size_t i = 0; i < midiEvents.size(); ++i)
            events->events[i] = reinterpret_cast<VstEvent*>(&midiEvents[i]);
        return events;
    }
    void send(std::initializer_list<Event> block) { dispatch(effProcessEvents, 0, 0, prepare(block)); }

    // One block in place through the hosting library; the result is in
    // left/right[0, frames).
    void render(int frames)
    {
        float* pair[2] = {left.data(), right.data()};
        lib.processReplacing(pair, pair, frames);
    }

    // Renders `frames` frames in blocks and keeps the left channel.
    std::vector<float> renderLeft(int frames, int block = 256)
    {
        std::vector<float> out;
        out.reserve(static_cast<size_t>(frames));
        for (int done = 0; done < frames; done += block) {
            const int n = std::min(block, frames - done);
            render(n);
            out.insert(out.end(), left.begin(), left.begin() + n);
        }
        return out;
    }

    VTVSTHostLib lib;
    bool loaded = false;
    Recorder recorder;
    std::vector<float> left, right;

private:
    std::vector<VstMidiEvent> midiEvents;
    std::vector<char> list;
    std::vector<Event> events;
};

inline bool silent(const float* samples, int count)
{
    for (int i = 0; i < count; ++i)
        if (samples[i] != 0.0f)
            return false;
    return true;
}

inline float peak(const std::vector<float>& samples)
{
    float p = 0.0f;
    for (float s : samples)
        p = std::max(p, std::fabs(s));
    return p;
}

} // namespace kindra
