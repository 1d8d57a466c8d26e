// A band-limited oscillator: naive saw and square corrected around each
// discontinuity by a polynomial step (PolyBLEP), which removes most of the
// aliasing at a few operations per sample.
#pragma once

class KindraOscillator {
public:
    // Audio thread, real-time safe.
    void reset(float phase) { m_phase = phase; }
    // Audio thread, real-time safe: cycles per sample, kept below Nyquist.
    void setIncrement(float increment)
    {
        m_increment = increment < 0.0f ? 0.0f : (increment > 0.49f ? 0.49f : increment);
    }

    // Audio thread, real-time safe: the next sample in -1..1.
    float next(bool square)
    {
        const float t = m_phase;
        const float dt = m_increment;
        float value;
        if (square) {
            float half = t + 0.5f;
            if (half >= 1.0f)
                half -= 1.0f;
            value = (t < 0.5f ? 1.0f : -1.0f) + blep(t, dt) - blep(half, dt);
        } else {
            value = 2.0f * t - 1.0f - blep(t, dt);
        }
        m_phase += dt;
        if (m_phase >= 1.0f)
            m_phase -= 1.0f;
        return value;
    }

private:
    // The residual of a band-limited unit step at phase 0, spread over one
    // sample either side of the wrap.
    static float blep(float t, float dt)
    {
        if (dt <= 0.0f)
            return 0.0f;
        if (t < dt) {
            t /= dt;
            return t + t - t * t - 1.0f;
        }
        if (t > 1.0f - dt) {
            t = (t - 1.0f) / dt;
            return t * t + t + t + 1.0f;
        }
        return 0.0f;
    }

    float m_phase = 0.0f;
    float m_increment = 0.0f;
};
