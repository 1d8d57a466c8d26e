// Sixteen voices and what the player does to them: notes, velocity, pitch
// bend and the sustain pedal, with the oldest voice stolen when all play.
#pragma once

#include "KindraVoice.h"

#include <cstdint>

class KindraSynth {
public:
    static constexpr int kVoices = 16;
    // The pitch wheel bends by up to two semitones either way.
    static constexpr float kBendSemitones = 2.0f;

    // Audio thread, real-time safe. velocity 0 is a note-off.
    void noteOn(int note, int velocity, const KindraVoiceSettings& settings);
    void noteOff(int note, const KindraVoiceSettings& settings);
    void setSustain(bool down, const KindraVoiceSettings& settings);
    // 14-bit wheel position, 8192 is the centre.
    void setPitchBend(int value);
    // Audio thread, real-time safe: every sounding note into its release.
    void releaseAll(const KindraVoiceSettings& settings);
    // Audio thread, real-time safe: silence at once, pedal up, wheel centred.
    void reset();

    // Audio thread, real-time safe: writes (not adds) frames into left/right.
    void render(float* left, float* right, int frames, const KindraVoiceSettings& settings);

    // Any thread: voices sounding, releases included.
    int activeVoiceCount() const
    {
        int count = 0;
        for (const KindraVoice& voice : m_voices)
            count += voice.active() ? 1 : 0;
        return count;
    }

private:
    KindraVoice* voiceFor(int note);

    KindraVoice m_voices[kVoices];
    uint64_t m_order = 0;
    bool m_sustain = false;
    float m_bend = 1.0f;
};
