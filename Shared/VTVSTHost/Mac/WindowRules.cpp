#include "WindowRules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string noteName(int note)
{
    static const char* const kNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    // Octave numbers start two below zero: note 0 is C-2. Both divisions
    // truncate toward zero, as the note names have always been made.
    const int pitch = ((note + 24) % 12 + 12) % 12;
    const int octave = note / 12 - 2;
    return kNames[pitch] + std::to_string(octave);
}

double roundTempo(double tempo)
{
    return std::floor(tempo * 100.0 + 0.5) * 0.01;
}

double limitTempo(double tempo)
{
    return std::clamp(tempo, kLowestTempo, kHighestTempo);
}

bool isTempoWithinLimits(double tempo)
{
    return tempo >= kLowestTempo && tempo <= kHighestTempo;
}

double tapTempo(uint64_t tapMilliseconds, uint32_t tapCount)
{
    const uint64_t average = tapCount == 0 ? 0 : tapMilliseconds / tapCount;
    const double tempo = average == 0 ? kHighestTempo : 60000.0 / static_cast<double>(average);
    return roundTempo(limitTempo(tempo));
}

std::string audioServerLine(const vt::platform::AudioServerReadout& readout)
{
    if (!readout.serverRunning)
        return "no audio server";
    char line[160];
    std::snprintf(line, sizeof line, "%.0f Hz \u00b7 %u frames \u00b7 %.1f ms \u00b7 DSP %.0f %%", readout.sampleRate,
                  static_cast<unsigned>(readout.blockSize), readout.latencyMs, static_cast<double>(readout.dspLoad));
    std::string text = line;
    if (!readout.streamRunning)
        return text + " \u00b7 audio stopped";
    const unsigned long long xruns = readout.xruns;
    std::snprintf(line, sizeof line, " \u00b7 %llu %s", xruns, xruns == 1 ? "dropout" : "dropouts");
    return text + line;
}
