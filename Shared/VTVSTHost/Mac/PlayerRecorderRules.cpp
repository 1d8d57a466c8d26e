#include "PlayerRecorderRules.h"

#include <cmath>
#include <cstdio>

namespace vt::player {

const char* const kMaxLengthTitles[kMaxLengthCount] = {
    "1 Bar",  "2 Bar",  "3 Bar",  "4 Bar",  "5 Bar", "6 Bar", "7 Bar", "8 Bar", "12 Bar", "16 Bar",
    "24 Bar", "32 Bar", "48 Bar", "64 Bar", "1 min", "2 min", "4 min", "8 min", "16 min"};

const char* const kStartOptionTitles[4] = {"Manually", "Start Recording on Midi Event", "Start Recording on Play",
                                           "Start/Stop on Play/Stop"};

namespace {

constexpr int kBarsOf[14] = {1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 24, 32, 48, 64};
constexpr int kSecondsOf[5] = {60, 120, 240, 480, 960};
constexpr int kBufferSeconds = 300;
constexpr int kBarCounts[6] = {1, 2, 4, 8, 16, 32};

uint64_t wholeRate(double rate)
{
    return rate >= 1.0 ? static_cast<uint64_t>(rate) : 0;
}

} // namespace

std::string timeText(double seconds, bool recordField)
{
    const long total = seconds >= 0 && seconds < 1e12 ? static_cast<long>(seconds + 0.5) : 0;
    const long minutes = total >= 60 ? total / 60 : 0;
    const long rest = total - 60 * minutes;
    char text[64];
    if (recordField)
        std::snprintf(text, sizeof text, rest < 10 ? "%ld:0%ld / max:" : "%ld:%ld / max:", minutes, rest);
    else
        std::snprintf(text, sizeof text, rest < 10 ? "%ld:0%ld" : "%ld:%ld", minutes, rest);
    return text;
}

double secondsOf(uint64_t frames, double rate)
{
    return rate > 0 ? static_cast<double>(frames) / rate : 0.0;
}

uint64_t barFrames(double rate, double tempo)
{
    if (!(rate > 0) || !(tempo > 0))
        return 0;
    const double frames = 4.0 * rate / (tempo / 60.0);
    return frames < 1e15 ? static_cast<uint64_t>(frames) : 0;
}

uint64_t maxLengthFrames(int index, double rate, double tempo)
{
    if (index >= 14 && index < kMaxLengthCount)
        return kSecondsOf[index - 14] * wholeRate(rate);
    const int bars = index >= 0 && index < 14 ? kBarsOf[index] : 1;
    return bars * barFrames(rate, tempo);
}

uint64_t recordCapacity(uint64_t length, double rate)
{
    const uint64_t bound = kBufferSeconds * wholeRate(rate);
    return length != 0 && length <= bound ? length : bound;
}

SampleTempo tempoFromSample(uint64_t frames, uint32_t fileRate)
{
    // Four beats at 88 BPM last 240 / 88 s, at 176 BPM 240 / 176 s.
    const uint64_t full = 240ull * fileRate;
    const uint64_t lo = full / 176;
    const uint64_t hi = full / 88;
    for (int bars : kBarCounts) {
        if (lo * bars <= frames && frames < hi * bars && frames / bars != 0)
            return {true, static_cast<double>(full) / static_cast<double>(frames / bars)};
    }
    return {};
}

std::string tempoText(const SampleTempo& tempo)
{
    if (!tempo.found)
        return "failed";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f BPM", std::floor(100.0 * tempo.bpm + 0.5) / 100.0);
    return text;
}

bool isSampleExtension(const std::string& extension)
{
    return extension == "wav" || extension == "aif" || extension == "aiff" || extension == "mp3" || extension == "m4a";
}

std::string lastPathComponent(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> samplesToTry(const std::vector<std::string>& candidates, const std::string& shownName,
                                      bool next)
{
    std::vector<std::string> order;
    if (candidates.empty())
        return order;
    size_t match = candidates.size();
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (lastPathComponent(candidates[i]) == shownName) {
            match = i;
            break;
        }
    }
    if (match < candidates.size()) {
        if (next) {
            for (size_t i = match + 1; i < candidates.size(); ++i)
                if (lastPathComponent(candidates[i]) != shownName)
                    order.push_back(candidates[i]);
        } else {
            for (size_t i = match; i-- > 0;)
                if (lastPathComponent(candidates[i]) != shownName)
                    order.push_back(candidates[i]);
        }
    }
    order.push_back(next ? candidates.front() : candidates.back());
    return order;
}

} // namespace vt::player
