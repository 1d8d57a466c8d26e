// Attack-decay-sustain-release envelope. The attack rises linearly, decay
// falls exponentially toward the sustain level, and the release lasts
// exactly its time in samples (falling by 80 dB) before the voice is free,
// so the end of a note's sound is known in advance.
#pragma once

#include <cmath>

// The shape all voices share, computed once per block from the parameters.
struct KindraEnvelopeShape {
    float attackStep = 1.0f;
    float decayCoefficient = 0.0f;
    float sustain = 1.0f;
    int releaseSamples = 1;
    float releaseCoefficient = 0.0f;

    // Any thread, real-time safe. Times in milliseconds, sustain 0..1.
    static int samplesFor(float milliseconds, float sampleRate)
    {
        const long samples = std::lround(static_cast<double>(milliseconds) * sampleRate / 1000.0);
        return samples < 1 ? 1 : static_cast<int>(samples);
    }
    static KindraEnvelopeShape make(float attackMs, float decayMs, float sustain, float releaseMs, float sampleRate)
    {
        KindraEnvelopeShape shape;
        shape.attackStep = 1.0f / static_cast<float>(samplesFor(attackMs, sampleRate));
        // The distance to the sustain level shrinks by 60 dB over the decay time.
        shape.decayCoefficient = std::exp(std::log(1.0e-3f) / static_cast<float>(samplesFor(decayMs, sampleRate)));
        shape.sustain = sustain;
        shape.releaseSamples = samplesFor(releaseMs, sampleRate);
        shape.releaseCoefficient = std::exp(std::log(1.0e-4f) / static_cast<float>(shape.releaseSamples));
        return shape;
    }
};

class KindraEnvelope {
public:
    // Audio thread, real-time safe. (Re)starts from the current level, so a
    // stolen or repeated voice does not click.
    void start() { m_stage = Stage::Attack; }
    // Audio thread, real-time safe. The release takes the shape's time from now.
    void release(const KindraEnvelopeShape& shape)
    {
        if (m_stage == Stage::Idle || m_stage == Stage::Release)
            return;
        m_stage = Stage::Release;
        m_remaining = shape.releaseSamples;
        m_releaseCoefficient = shape.releaseCoefficient;
    }
    // Audio thread, real-time safe: silent at once.
    void kill()
    {
        m_stage = Stage::Idle;
        m_level = 0.0f;
    }

    bool active() const { return m_stage != Stage::Idle; }
    bool releasing() const { return m_stage == Stage::Release; }
    float level() const { return m_level; }

    // Audio thread, real-time safe: the level for the next sample.
    float next(const KindraEnvelopeShape& shape)
    {
        switch (m_stage) {
        case Stage::Idle:
            return 0.0f;
        case Stage::Attack:
            m_level += shape.attackStep;
            if (m_level >= 1.0f) {
                m_level = 1.0f;
                m_stage = Stage::Decay;
            }
            break;
        case Stage::Decay:
            m_level = shape.sustain + (m_level - shape.sustain) * shape.decayCoefficient;
            break;
        case Stage::Release:
            if (m_remaining <= 0) {
                kill();
                return 0.0f;
            }
            --m_remaining;
            m_level *= m_releaseCoefficient;
            break;
        }
        return m_level;
    }

private:
    enum class Stage { Idle, Attack, Decay, Release };
    Stage m_stage = Stage::Idle;
    float m_level = 0.0f;
    int m_remaining = 0;
    float m_releaseCoefficient = 0.0f;
};
