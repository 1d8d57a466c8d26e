// The rules of the preferences and tempo windows that need no window: note
// names, tempo rounding and limits, tap averaging and the audio server's
// read-only line. Pure functions, any thread.
#pragma once

#include <vtplatform/AudioServer.h>

#include <cstdint>
#include <string>

// The name of a MIDI note: "C-2" for 0, "C3" for 60, "G8" for 127.
std::string noteName(int note);

// The host tempo's limits in beats per minute, both included.
constexpr double kLowestTempo = 45.0;
constexpr double kHighestTempo = 250.0;

// Every tempo shown or applied is first rounded to hundredths.
double roundTempo(double tempo);
// The tempo held within kLowestTempo ... kHighestTempo.
double limitTempo(double tempo);
bool isTempoWithinLimits(double tempo);

// The tempo of taps whose intervals sum to tapMilliseconds over tapCount
// intervals: the mean interval (whole milliseconds) as beats per minute,
// limited and rounded; a mean of 0 gives the upper limit.
double tapTempo(uint64_t tapMilliseconds, uint32_t tapCount);

// "48000 Hz · 512 frames · 10.7 ms · DSP 3 % · 0 dropouts" for a running
// stream, "… · audio stopped" when the server runs without our stream, and
// "no audio server" when none answered.
std::string audioServerLine(const vt::platform::AudioServerReadout& readout);
