// The player and recorder window's rules that need no window: the time
// texts, the record lengths and the recorder's buffer bound, the tempo
// derived from a sample's length and the order in which next and previous
// try the sample files of a folder. Any thread; plain functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vt::player {

// The maximum record lengths, in the pop-up's order: 14 bar counts, then
// five lengths in minutes.
inline constexpr int kMaxLengthCount = 19;
extern const char* const kMaxLengthTitles[kMaxLengthCount];

// The record start options, in the pop-up's order; an instrument is only
// offered the first two.
inline constexpr int kStartManually = 0;
inline constexpr int kStartOnMidi = 1;
inline constexpr int kStartOnPlay = 2;
inline constexpr int kStartStopWithPlay = 3;
extern const char* const kStartOptionTitles[4];

// "m:ss" of the seconds rounded to whole ones ("1:05" for 65.4); the
// record field's form ends in " / max:". Negative or invalid seconds count
// as 0.
std::string timeText(double seconds, bool recordField);

// Seconds of a frame count at the rate; 0 when the rate is not positive.
double secondsOf(uint64_t frames, double rate);

// Frames of one bar of four beats: the integer part of 4 R / (tempo / 60);
// 0 when the rate or the tempo is not positive.
uint64_t barFrames(double rate, double tempo);

// Frames of the maximum-length entry at index; any other index counts as
// one bar.
uint64_t maxLengthFrames(int index, double rate, double tempo);

// The recorder's buffer: the length when it is non-zero and fits in five
// minutes at the rate, else those five minutes (300 x the whole rate).
uint64_t recordCapacity(uint64_t length, double rate);

// The tempo a sample's length gives: the first of 1, 2, 4, 8, 16, 32 bars
// of four beats that puts it between 88 and 176 BPM.
struct SampleTempo {
    bool found = false;
    double bpm = 0;
};
SampleTempo tempoFromSample(uint64_t frames, uint32_t fileRate);
// "%.2f BPM" of the tempo rounded to two decimals, or "failed".
std::string tempoText(const SampleTempo& tempo);

// Whether next and previous take a file with this extension (exact case).
bool isSampleExtension(const std::string& extension);

// The files next (or previous) tries, in order, among the candidates of a
// folder as the enumeration delivered them (full paths): those after (or
// before, nearest first) the first whose name is the shown one and whose
// own name differs from it, then the wrap-around file (the first, or the
// last candidate).
std::vector<std::string> samplesToTry(const std::vector<std::string>& candidates, const std::string& shownName,
                                      bool next);

// The path's last component ("/a/b.wav" gives "b.wav").
std::string lastPathComponent(const std::string& path);

} // namespace vt::player
