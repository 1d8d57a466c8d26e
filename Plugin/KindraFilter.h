// A resonant two-pole low-pass in the trapezoidal state-variable form: it
// stays stable while its cutoff moves every few samples, which the filter
// envelope needs.
#pragma once

#include <cmath>

class KindraFilter {
public:
    // Audio thread, real-time safe. cutoff in Hz (kept below 0.45 x rate),
    // resonance 0..1 (1 rings strongly but never oscillates on its own).
    void setCoefficients(float cutoff, float resonance, float sampleRate)
    {
        const float highest = 0.45f * sampleRate;
        cutoff = cutoff < 10.0f ? 10.0f : (cutoff > highest ? highest : cutoff);
        const float g = std::tan(3.14159265f * cutoff / sampleRate);
        const float k = 2.0f - 1.9f * (resonance < 0.0f ? 0.0f : (resonance > 1.0f ? 1.0f : resonance));
        m_a1 = 1.0f / (1.0f + g * (g + k));
        m_a2 = g * m_a1;
        m_a3 = g * m_a2;
    }

    // Audio thread, real-time safe.
    void reset()
    {
        m_ic1 = 0.0f;
        m_ic2 = 0.0f;
    }

    // Audio thread, real-time safe: one sample through the low-pass.
    float process(float x)
    {
        const float v3 = x - m_ic2;
        const float v1 = m_a1 * m_ic1 + m_a2 * v3;
        const float v2 = m_ic2 + m_a2 * m_ic1 + m_a3 * v3;
        m_ic1 = 2.0f * v1 - m_ic1;
        m_ic2 = 2.0f * v2 - m_ic2;
        return v2;
    }

private:
    float m_a1 = 1.0f, m_a2 = 0.0f, m_a3 = 0.0f;
    float m_ic1 = 0.0f, m_ic2 = 0.0f;
};
