// One voice: two oscillators into the resonant low-pass, shaped by the
// filter envelope and the amplitude envelope, panned by its note.
#pragma once

#include "KindraEnvelope.h"
#include "KindraFilter.h"
#include "KindraOscillator.h"
#include "KindraParameters.h"

#include <cstdint>

// What every voice reads for one block, computed once from the parameters.
struct KindraVoiceSettings {
    float sampleRate = 44100.0f;
    bool square1 = false;
    bool square2 = true;
    float detuneRatio = 1.0f; // second oscillator's frequency factor
    float mix = 0.5f;         // share of the second oscillator
    float cutoff = 2000.0f;   // Hz
    float resonance = 0.3f;   // 0..1
    float envOctaves = 2.0f;  // filter envelope depth
    float gain = 0.25f;       // per-voice output gain
    KindraEnvelopeShape amp;
    KindraEnvelopeShape filter;

    // Any thread, real-time safe (no allocation).
    static KindraVoiceSettings from(const KindraParameters& parameters, float sampleRate);
};

class KindraVoice {
public:
    // Audio thread, real-time safe. velocity 1..127; order orders the notes
    // for stealing (larger is newer).
    void start(int note, int velocity, uint64_t order);
    // Audio thread, real-time safe.
    void release(const KindraVoiceSettings& settings);
    void kill();

    // Audio thread, real-time safe.
    bool active() const { return m_amp.active(); }
    bool releasing() const { return m_amp.releasing(); }
    int note() const { return m_note; }
    uint64_t order() const { return m_order; }
    bool heldByPedal() const { return m_heldByPedal; }
    void setHeldByPedal(bool held) { m_heldByPedal = held; }

    // Audio thread, real-time safe: adds the voice into left and right.
    // bend is the pitch factor of the pitch wheel.
    void render(float* left, float* right, int frames, const KindraVoiceSettings& settings, float bend);

private:
    KindraOscillator m_osc1, m_osc2;
    KindraFilter m_filter;
    KindraEnvelope m_amp, m_filterEnv;
    int m_note = -1;
    float m_velocity = 0.0f;
    float m_panLeft = 1.0f, m_panRight = 1.0f;
    uint64_t m_order = 0;
    bool m_heldByPedal = false;
};
