#include "KindraParameters.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Time controls run from 1 ms to 5 s exponentially, so 0 and 1 are exact.
constexpr float kShortest = 1.0f;
constexpr float kLongest = 5000.0f;

// Default times as normalized values: log(ms) / log(5000).
const KindraParamSpec kSpecs[kParamCount] = {
    {"Osc1", "", KindraParamScale::Switch, 0.0f, 1.0f, 0.0f},
    {"Osc2", "", KindraParamScale::Switch, 0.0f, 1.0f, 1.0f},
    {"Detune", "cents", KindraParamScale::Linear, 0.0f, 50.0f, 0.14f},
    {"Mix", "%", KindraParamScale::Linear, 0.0f, 100.0f, 0.5f},
    {"Cutoff", "Hz", KindraParamScale::Exponential, 20.0f, 20000.0f, 0.55f},
    {"Reso", "%", KindraParamScale::Linear, 0.0f, 100.0f, 0.3f},
    {"EnvAmt", "%", KindraParamScale::Linear, 0.0f, 100.0f, 0.4f},
    {"FltDec", "ms", KindraParamScale::Exponential, kShortest, kLongest, 0.70f},
    {"Attack", "ms", KindraParamScale::Exponential, kShortest, kLongest, 0.20f},
    {"Decay", "ms", KindraParamScale::Exponential, kShortest, kLongest, 0.65f},
    {"Sustain", "%", KindraParamScale::Linear, 0.0f, 100.0f, 0.7f},
    {"Release", "ms", KindraParamScale::Exponential, kShortest, kLongest, 0.67f},
    {"Volume", "dB", KindraParamScale::Linear, -60.0f, 6.0f, 0.82f},
};

void copyText(char* text, const char* source)
{
    // Hosts hand out buffers of 8 bytes for these texts.
    std::snprintf(text, 8, "%s", source);
}

} // namespace

KindraParameters::KindraParameters()
{
    resetToDefaults();
}

const KindraParamSpec* KindraParameters::spec(int index)
{
    if (index < 0 || index >= kParamCount)
        return nullptr;
    return &kSpecs[index];
}

void KindraParameters::resetToDefaults()
{
    for (int i = 0; i < kParamCount; ++i)
        m_values[i].store(kSpecs[i].defaultValue, std::memory_order_relaxed);
}

float KindraParameters::get(int index) const
{
    if (index == kBounceCaptureParam)
        return bounceCaptureValue();
    if (spec(index) == nullptr)
        return 0.0f;
    return m_values[index].load(std::memory_order_relaxed);
}

bool KindraParameters::set(int index, float value)
{
    if (spec(index) == nullptr || std::isnan(value))
        return false;
    value = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
    m_values[index].store(value, std::memory_order_relaxed);
    return true;
}

float KindraParameters::toPlain(int index, float v)
{
    const KindraParamSpec* s = spec(index);
    if (s == nullptr)
        return 0.0f;
    switch (s->scale) {
    case KindraParamScale::Switch:
        return v >= 0.5f ? 1.0f : 0.0f;
    case KindraParamScale::Linear:
        return s->low + v * (s->high - s->low);
    case KindraParamScale::Exponential:
        return s->low * std::pow(s->high / s->low, v);
    }
    return 0.0f;
}

float KindraParameters::plain(int index) const
{
    return toPlain(index, get(index));
}

bool KindraParameters::name(int index, char* text)
{
    const KindraParamSpec* s = spec(index);
    if (s == nullptr || text == nullptr)
        return false;
    copyText(text, s->name);
    return true;
}

bool KindraParameters::label(int index, char* text)
{
    const KindraParamSpec* s = spec(index);
    if (s == nullptr || text == nullptr)
        return false;
    copyText(text, s->label);
    return true;
}

bool KindraParameters::display(int index, char* text) const
{
    const KindraParamSpec* s = spec(index);
    if (s == nullptr || text == nullptr)
        return false;
    const float value = plain(index);
    if (s->scale == KindraParamScale::Switch) {
        copyText(text, value >= 0.5f ? "Square" : "Saw");
    } else if (s->high - s->low <= 100.0f && s->low < 0.0f) {
        std::snprintf(text, 8, "%.1f", value); // decibels
    } else if (value < 100.0f && s->scale == KindraParamScale::Exponential) {
        std::snprintf(text, 8, "%.1f", value);
    } else {
        std::snprintf(text, 8, "%.0f", value);
    }
    return true;
}
