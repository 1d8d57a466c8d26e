// The instrument's parameters: their table (names, units, ranges) and their
// current values, which the main thread writes and the audio thread reads.
#pragma once

#include <atomic>

enum KindraParam : int {
    kParamOsc1Wave,
    kParamOsc2Wave,
    kParamDetune,
    kParamOscMix,
    kParamCutoff,
    kParamResonance,
    kParamEnvAmount,
    kParamFilterDecay,
    kParamAttack,
    kParamDecay,
    kParamSustain,
    kParamRelease,
    kParamVolume,
    kParamCount
};

// The host marks its offline capture with this index: 1.0 while it captures.
constexpr int kBounceCaptureParam = 82;

// How a normalized value 0..1 maps to the value the user reads.
enum class KindraParamScale {
    Switch,      // 0 or 1: "Saw" / "Square"
    Linear,      // low + v * (high - low)
    Exponential, // low * (high / low)^v
};

struct KindraParamSpec {
    const char* name;  // at most 7 characters: hosts give 8 bytes
    const char* label; // unit, at most 7 characters
    KindraParamScale scale;
    float low;
    float high;
    float defaultValue; // normalized
};

class KindraParameters {
public:
    KindraParameters();

    // Any thread. The table entry of a parameter, or null for another index.
    static const KindraParamSpec* spec(int index);

    // Any thread, real-time safe. Normalized value; 0 for an unknown index.
    float get(int index) const;
    // Any thread, real-time safe. Clamps to 0..1; false (and no change) for
    // an unknown index or a value that is not a number.
    bool set(int index, float value);
    // Any thread, real-time safe. The value in the unit of its label.
    float plain(int index) const;
    static float toPlain(int index, float normalized);

    // Any thread, real-time safe: the bounce-capture marker.
    void setBounceCapture(float value) { m_bounceCapture.store(value == 1.0f, std::memory_order_release); }
    bool bounceCapture() const { return m_bounceCapture.load(std::memory_order_acquire); }
    float bounceCaptureValue() const { return bounceCapture() ? 1.0f : 0.0f; }

    // Main thread. Copy the name, unit or display text into a host buffer of
    // at least 8 bytes, always terminated. False for an unknown index.
    static bool name(int index, char* text);
    static bool label(int index, char* text);
    bool display(int index, char* text) const;

    // Main thread: every parameter back to its default.
    void resetToDefaults();

private:
    std::atomic<float> m_values[kParamCount];
    std::atomic<bool> m_bounceCapture{false};
};
