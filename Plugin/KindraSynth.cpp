#include "KindraSynth.h"

#include <cmath>
#include <cstring>

KindraVoice* KindraSynth::voiceFor(int note)
{
    // A repeated note takes its own voice again, so one key never stacks.
    for (KindraVoice& voice : m_voices)
        if (voice.active() && voice.note() == note)
            return &voice;
    for (KindraVoice& voice : m_voices)
        if (!voice.active())
            return &voice;
    // All busy: steal the oldest release, else the oldest held note.
    KindraVoice* oldest = nullptr;
    for (KindraVoice& voice : m_voices)
        if (voice.releasing() && (oldest == nullptr || voice.order() < oldest->order()))
            oldest = &voice;
    if (oldest != nullptr)
        return oldest;
    oldest = &m_voices[0];
    for (KindraVoice& voice : m_voices)
        if (voice.order() < oldest->order())
            oldest = &voice;
    return oldest;
}

void KindraSynth::noteOn(int note, int velocity, const KindraVoiceSettings& settings)
{
    if (note < 0 || note > 127)
        return;
    if (velocity <= 0) {
        noteOff(note, settings);
        return;
    }
    voiceFor(note)->start(note, velocity > 127 ? 127 : velocity, ++m_order);
}

void KindraSynth::noteOff(int note, const KindraVoiceSettings& settings)
{
    for (KindraVoice& voice : m_voices) {
        if (!voice.active() || voice.releasing() || voice.note() != note)
            continue;
        if (m_sustain)
            voice.setHeldByPedal(true);
        else
            voice.release(settings);
    }
}

void KindraSynth::setSustain(bool down, const KindraVoiceSettings& settings)
{
    m_sustain = down;
    if (down)
        return;
    for (KindraVoice& voice : m_voices)
        if (voice.active() && voice.heldByPedal())
            voice.release(settings);
}

void KindraSynth::setPitchBend(int value)
{
    value = value < 0 ? 0 : (value > 16383 ? 16383 : value);
    m_bend = std::exp2(kBendSemitones * static_cast<float>(value - 8192) / 8192.0f / 12.0f);
}

void KindraSynth::releaseAll(const KindraVoiceSettings& settings)
{
    m_sustain = false;
    for (KindraVoice& voice : m_voices)
        if (voice.active())
            voice.release(settings);
}

void KindraSynth::reset()
{
    for (KindraVoice& voice : m_voices)
        voice.kill();
    m_sustain = false;
    m_bend = 1.0f;
}

void KindraSynth::render(float* left, float* right, int frames, const KindraVoiceSettings& settings)
{
    std::memset(left, 0, sizeof(float) * static_cast<size_t>(frames));
    std::memset(right, 0, sizeof(float) * static_cast<size_t>(frames));
    for (KindraVoice& voice : m_voices)
        voice.render(left, right, frames, settings, m_bend);
}
