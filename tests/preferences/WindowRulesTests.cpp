// The window rules that need no window: note names, the tempo field's input
// rule and the audio server line.
#include "Preferences.h"
#include "Tempo.h"
#include "WindowRules.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

TEST(NoteNames, BothWindowsNameNotesFromCMinusTwoToG8)
{
    // (n + 24) % 12 picks the name, n / 12 - 2 the octave: 11 is B-2,
    // 12 starts octave -1, 60 is C3, 127 (10 * 12 + 7) is G8.
    const std::vector<std::pair<int, std::string>> cases = {{0, "C-2"},  {1, "C#-2"}, {11, "B-2"},
                                                            {12, "C-1"}, {60, "C3"},  {127, "G8"}};
    auto preferences = loadPreferencesWindow();
    auto tempo = loadTempoWindow();
    for (const auto& [note, name] : cases) {
        EXPECT_EQ(preferences->int2Notes(note).utf8(), name) << note;
        EXPECT_EQ(tempo->int2Notes(note).utf8(), name) << note;
    }
}

TEST(TempoFormatter, AcceptsWhileTypingOnlyAnEmptyTextOrOneIntegerWithBlanksAround)
{
    const std::vector<std::pair<std::string, bool>> cases = {
        {"", true},   {"1", true},    {"120", true},   {" 12 ", true}, {"-5", true}, {"+7", true}, {"12a", false},
        {"a", false}, {"12.", false}, {"12.5", false}, {"1 2", false}, {"-", false}, {" ", false}, {"1e2", false},
    };
    TempoFormatter formatter;
    for (const auto& [text, accepted] : cases) {
        NSString proposed, error;
        EXPECT_EQ(formatter.isPartialStringValid(text, &proposed, &error), accepted) << '"' << text << '"';
    }
}

TEST(AudioServerLine, NamesRateBlockLatencyLoadAndDropoutsOrSaysWhatIsMissing)
{
    using Readout = vt::platform::AudioServerReadout;
    // 512 frames at 48 kHz are 10.67 ms; the load and the latency are
    // rounded for reading, never truncated.
    const std::vector<std::pair<Readout, std::string>> cases = {
        {Readout{true, true, 48000, 512, 10.6667, 3.4f, 0}, "48000 Hz · 512 frames · 10.7 ms · DSP 3 % · 0 dropouts"},
        {Readout{true, true, 44100, 128, 2.902, 57.6f, 1}, "44100 Hz · 128 frames · 2.9 ms · DSP 58 % · 1 dropout"},
        {Readout{true, true, 96000, 64, 0.6667, 0.0f, 12345678901ULL},
         "96000 Hz · 64 frames · 0.7 ms · DSP 0 % · 12345678901 dropouts"},
        {Readout{true, false, 48000, 1024, 21.333, 1.0f, 9},
         "48000 Hz · 1024 frames · 21.3 ms · DSP 1 % · audio stopped"},
        {Readout{}, "no audio server"},
        {Readout{false, true, 48000, 512, 10.7, 3, 4}, "no audio server"},
    };
    for (const auto& [readout, line] : cases)
        EXPECT_EQ(audioServerLine(readout), line);
}
