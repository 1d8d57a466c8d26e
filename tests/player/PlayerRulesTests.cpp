// The window's rules without a window: time texts, record lengths, the
// buffer bound, the tempo of a sample, the files next and previous try,
// and a take saved without ever leaving half a file.
#include "PlayerRecorderRules.h"
#include "RecordingFile.h"
#include "VTTemporaryFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>

using namespace vt::player;

TEST(TimeText, RoundsToWholeSecondsAndWritesMinutesAndTwoDigitSeconds)
{
    struct Case {
        double seconds;
        bool record;
        const char* text;
    } cases[] = {
        {0, false, "0:00"},         {65.4, false, "1:05"},     {59.6, false, "1:00"}, {600.2, false, "10:00"},
        {9.4, true, "0:09 / max:"}, {75, true, "1:15 / max:"}, {-3, false, "0:00"},   {3599.5, true, "60:00 / max:"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(timeText(c.seconds, c.record), c.text) << c.seconds;
}

TEST(RecordLength, BarsFollowTempoAndRateMinutesTheWholeRateAndTheBufferHoldsFiveMinutes)
{
    struct Case {
        int index;
        double rate;
        double tempo;
        uint64_t frames;
        uint64_t capacity;
    } cases[] = {
        // One bar at 120 BPM: 4 beats of 0.5 s, 2 s of 48000 frames.
        {0, 48000, 120, 96000, 96000},
        {3, 48000, 120, 384000, 384000},
        {13, 48000, 120, 64 * 96000, 64 * 96000}, // 64 bars are 128 s: they fit
        {8, 44100, 90, 12 * 117600, 12 * 117600}, // 4 beats of 2/3 s at 44100
        {14, 48000, 120, 2880000, 2880000},
        // "8 min" is longer than the five-minute buffer.
        {17, 48000, 120, 23040000, 14400000},
        {18, 44100.7, 120, 960 * 44100, 300 * 44100},
        {19, 48000, 120, 96000, 96000}, // any other index is one bar
        {-1, 48000, 120, 96000, 96000},
        // No rate or no tempo: nothing, and no division by zero.
        {0, 0, 120, 0, 0},
        {0, 48000, 0, 0, 14400000},
        {17, 0, 120, 0, 0},
    };
    for (const Case& c : cases) {
        const uint64_t frames = maxLengthFrames(c.index, c.rate, c.tempo);
        EXPECT_EQ(frames, c.frames) << c.index << " at " << c.rate;
        EXPECT_EQ(recordCapacity(frames, c.rate), c.capacity) << c.index << " at " << c.rate;
    }
}

TEST(SampleTempo, TakesTheFirstPowerOfTwoBarCountBetween88And176Bpm)
{
    struct Case {
        uint64_t frames;
        uint32_t rate;
        const char* text;
    } cases[] = {
        {88200, 44100, "120.00 BPM"},  // 2 s: one bar at 120
        {44100, 44100, "failed"},      // 1 s: one bar at 240, no larger count fits
        {132300, 44100, "160.00 BPM"}, // 3 s: two bars at 160
        {352800, 44100, "120.00 BPM"}, // 8 s: four bars at 120
        {96000 * 32, 48000, "120.00 BPM"},
        {96000 * 64, 48000, "failed"}, // 64 bars would be needed
        {100000, 48000, "115.20 BPM"}, // 11520000 / 100000
        {88200, 0, "failed"},          // no rate
        {0, 44100, "failed"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tempoText(tempoFromSample(c.frames, c.rate)), c.text) << c.frames << " at " << c.rate;
}

TEST(NeighbourSamples, NextAndPreviousTryTheirSideThenWrapAround)
{
    const std::vector<std::string> folder = {"/s/a.wav", "/s/sub/b.aif", "/s/a.wav.mp3", "/s/sub/a.wav", "/s/c.m4a"};
    struct Case {
        const char* shown;
        bool next;
        std::vector<std::string> order;
    } cases[] = {
        // After the first match; a file of the same name elsewhere is passed.
        {"a.wav", true, {"/s/sub/b.aif", "/s/a.wav.mp3", "/s/c.m4a", "/s/a.wav"}},
        {"c.m4a", true, {"/s/a.wav"}},
        {"b.aif", false, {"/s/a.wav", "/s/c.m4a"}},
        {"a.wav", false, {"/s/c.m4a"}},
        {"gone.wav", true, {"/s/a.wav"}},
        {"gone.wav", false, {"/s/c.m4a"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(samplesToTry(folder, c.shown, c.next), c.order) << c.shown << (c.next ? " next" : " previous");
    EXPECT_TRUE(samplesToTry({}, "a.wav", true).empty());

    for (const char* extension : {"wav", "aif", "aiff", "mp3", "m4a"})
        EXPECT_TRUE(isSampleExtension(extension)) << extension;
    for (const char* extension : {"WAV", "caf", "txt", ""})
        EXPECT_FALSE(isSampleExtension(extension)) << extension;
}

namespace {

std::vector<std::string> entriesOf(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(SavedTake, AFailedSaveLeavesWhatWasAtThePathAndNoPartialFile)
{
    vt::testing::TemporaryFolder folder;
    const std::string path = folder.file("take.aiff");
    std::ofstream(path) << "an older take";
    std::vector<float> left(100000, 0.5f), right(100000, -0.5f);
    float* channels[2] = {left.data(), right.data()};

    // A name no writer takes, and a folder that is not there.
    EXPECT_FALSE(saveRecording(folder.file("take.aifx"), channels, 100000, 48000));
    EXPECT_FALSE(saveRecording(folder.file("missing/take.aiff"), channels, 100000, 48000));

    // The disk fills up in the middle of the data: files may not grow past
    // 64 KiB (the take needs 400 KB), and writing past it fails instead of
    // ending the process.
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    auto* const previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = saveRecording(path, channels, 100000, 48000);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(saved);

    std::ifstream kept(path);
    std::string text((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "an older take");
    EXPECT_EQ(entriesOf(folder.path()), std::vector<std::string>{"take.aiff"});

    // Without a limit the same take replaces the old one: 54 header bytes
    // and four per frame.
    ASSERT_TRUE(saveRecording(path, channels, 100000, 48000));
    EXPECT_EQ(std::filesystem::file_size(path), 54u + 400000u);
    EXPECT_EQ(entriesOf(folder.path()), std::vector<std::string>{"take.aiff"});
}
