#include "KindraVoice.h"

#include <cmath>

namespace {

// The filter follows its envelope in steps of this many samples, which
// keeps the tangent out of the per-sample loop.
constexpr int kControlFrames = 16;

} // namespace

KindraVoiceSettings KindraVoiceSettings::from(const KindraParameters& p, float sampleRate)
{
    KindraVoiceSettings s;
    s.sampleRate = sampleRate;
    s.square1 = p.plain(kParamOsc1Wave) >= 0.5f;
    s.square2 = p.plain(kParamOsc2Wave) >= 0.5f;
    s.detuneRatio = std::exp2(p.plain(kParamDetune) / 1200.0f);
    s.mix = p.plain(kParamOscMix) / 100.0f;
    s.cutoff = p.plain(kParamCutoff);
    s.resonance = p.plain(kParamResonance) / 100.0f;
    s.envOctaves = 6.0f * p.plain(kParamEnvAmount) / 100.0f;
    // Sixteen voices at full level must not clip hard: a quarter each.
    s.gain = 0.25f * std::pow(10.0f, p.plain(kParamVolume) / 20.0f);
    s.amp = KindraEnvelopeShape::make(p.plain(kParamAttack), p.plain(kParamDecay), p.plain(kParamSustain) / 100.0f,
                                      p.plain(kParamRelease), sampleRate);
    const float filterTime = p.plain(kParamFilterDecay);
    s.filter = KindraEnvelopeShape::make(1.0f, filterTime, 0.0f, filterTime, sampleRate);
    return s;
}

void KindraVoice::start(int note, int velocity, uint64_t order)
{
    if (!m_amp.active()) {
        // A fresh voice: start the oscillators apart so detuned pairs
        // do not begin in phase, and clear the filter's memory.
        m_osc1.reset(0.0f);
        m_osc2.reset(0.25f);
        m_filter.reset();
    }
    m_note = note;
    m_velocity = static_cast<float>(velocity) / 127.0f;
    m_order = order;
    m_heldByPedal = false;
    // Low notes lean left, high notes right, never further than 40 %.
    float pan = static_cast<float>(note - 60) / 60.0f;
    pan = pan < -0.4f ? -0.4f : (pan > 0.4f ? 0.4f : pan);
    m_panLeft = pan > 0.0f ? 1.0f - pan : 1.0f;
    m_panRight = pan < 0.0f ? 1.0f + pan : 1.0f;
    m_amp.start();
    m_filterEnv.start();
}

void KindraVoice::release(const KindraVoiceSettings& settings)
{
    m_heldByPedal = false;
    m_amp.release(settings.amp);
    m_filterEnv.release(settings.filter);
}

void KindraVoice::kill()
{
    m_amp.kill();
    m_filterEnv.kill();
    m_heldByPedal = false;
    m_note = -1;
}

void KindraVoice::render(float* left, float* right, int frames, const KindraVoiceSettings& s, float bend)
{
    if (!m_amp.active())
        return;
    const float frequency = 440.0f * std::exp2((static_cast<float>(m_note) - 69.0f) / 12.0f) * bend;
    m_osc1.setIncrement(frequency / s.sampleRate);
    m_osc2.setIncrement(frequency * s.detuneRatio / s.sampleRate);
    // Softer notes sound darker and quieter.
    const float velocityGain = 0.2f + 0.8f * m_velocity * m_velocity;
    const float depth = s.envOctaves * (0.5f + 0.5f * m_velocity);
    const float gainLeft = s.gain * velocityGain * m_panLeft;
    const float gainRight = s.gain * velocityGain * m_panRight;
    const float mix1 = 1.0f - s.mix;

    for (int start = 0; start < frames; start += kControlFrames) {
        const int end = start + kControlFrames < frames ? start + kControlFrames : frames;
        m_filter.setCoefficients(s.cutoff * std::exp2(depth * m_filterEnv.level()), s.resonance, s.sampleRate);
        for (int i = start; i < end; ++i) {
            m_filterEnv.next(s.filter);
            const float x = m_osc1.next(s.square1) * mix1 + m_osc2.next(s.square2) * s.mix;
            const float y = m_filter.process(x) * m_amp.next(s.amp);
            left[i] += y * gainLeft;
            right[i] += y * gainRight;
        }
        if (!m_amp.active()) {
            m_note = -1;
            return;
        }
    }
}
