// The tempo window as a person uses it: taps on a steered host clock, the
// stepper, typed tempos and the learned MIDI tap trigger; every tempo is
// read back from the engine, both controls and the preferences file.
#include "WindowRig.h"

#include "VTMidiMsg.h"
#include "VTPlatformTesting.h"

#include <cmath>

using namespace windowtest;

namespace {

constexpr uint64_t kMillisecond = 1'000'000; // ns

class TempoWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        RigOptions options;
        options.audioDevices = {device("Duet", {2}, {2})};
        options.midiSources = {"Keys"};
        rig = std::make_unique<WindowRig>(options);
        rig->engine.m_tempo = 100.0;
        rig->registry->tempo = 100.0;
        window = rig->openTempo();
    }
    void TearDown() override
    {
        window.reset();
        rig.reset();
    }

    // The tempo the engine runs, both controls show and the file holds;
    // `stored` is absent when nothing was written yet.
    void expectTempo(double tempo, std::optional<double> stored, const std::string& shown)
    {
        EXPECT_DOUBLE_EQ(rig->engine.m_tempo.load(), tempo);
        EXPECT_EQ(window->_tempoTextField->stringValue().utf8(), shown);
        EXPECT_DOUBLE_EQ(window->_tempoStepper->doubleValue(), std::stod(shown));
        std::optional<double> onDisk = rig->storedFile()->number("Tempo");
        ASSERT_EQ(onDisk.has_value(), stored.has_value());
        if (stored) {
            EXPECT_NEAR(*onDisk, *stored, 1e-9);
        }
    }

    std::unique_ptr<WindowRig> rig;
    std::unique_ptr<Tempo> window;
};

struct TapCase {
    const char* label;
    std::vector<uint64_t> intervalsMs; // before each tap after the first
    double tempo;                      // the engine's afterwards
    const char* shown;
    bool stored;
};

void PrintTo(const TapCase& value, std::ostream* out)
{
    *out << value.label;
}

class TempoTaps : public TempoWindow, public ::testing::WithParamInterface<TapCase> {};

} // namespace

TEST_P(TempoTaps, SetTheMeanOfEveryIntervalSinceTheLastPause)
{
    const TapCase& c = GetParam();
    vt::testing::ManualHostClock clock;
    ASSERT_TRUE(rig->user.click(window->_tapButton));
    for (uint64_t interval : c.intervalsMs) {
        clock.advance(interval * kMillisecond);
        ASSERT_TRUE(rig->user.click(window->_tapButton));
    }
    expectTempo(c.tempo, c.stored ? std::optional<double>(c.tempo) : std::nullopt, c.shown);
}

INSTANTIATE_TEST_SUITE_P(Series, TempoTaps,
                         ::testing::Values(
                             // 60000 / 500 = 120; then (500 + 600) / 2 = 550 ms gives 109.0909.
                             TapCase{"500 ms", {500}, 120.0, "120", true},
                             TapCase{"500 then 600 ms", {500, 600}, 109.09, "109.09", true},
                             // The 1.5 s pause changes nothing (counted in, the mean of 1000 ms
                             // would give 60); the next 600 ms tap starts the new series: 100,
                             // not the 69.28 of all three intervals.
                             TapCase{"a pause of 1.5 s", {500, 1500}, 120.0, "120", true},
                             TapCase{"after a pause", {500, 1500, 600}, 100.0, "100", true},
                             TapCase{"2 s apart", {2000, 2000, 2000}, 100.0, "100", false},
                             // 60000 / 200 = 300, above the limit.
                             TapCase{"200 ms apart", {200, 200}, 250.0, "250", true},
                             // Just inside the window: 1333 ms is 45.01 beats per minute.
                             TapCase{"1333 ms apart", {1333}, 45.01, "45.01", true}));

TEST_F(TempoWindow, TheStepperHoldsTheTempoWithinItsLimits)
{
    window->_tempoStepper->setDoubleValue(45);
    ASSERT_TRUE(rig->user.step(window->_tempoStepper, -1)); // 44
    expectTempo(45.0, 45.0, "45");
    window->_tempoStepper->setDoubleValue(250);
    ASSERT_TRUE(rig->user.step(window->_tempoStepper, 1)); // 251
    expectTempo(250.0, 250.0, "250");
    ASSERT_TRUE(rig->user.step(window->_tempoStepper, -3));
    expectTempo(247.0, 247.0, "247");
}

TEST_F(TempoWindow, ATypedTempoIsAppliedOnlyWithinTheLimitsAndLettersAreRefusedAsTyped)
{
    // "1a20": the "a" is refused as it is typed, the rest makes 120.
    EXPECT_EQ(rig->user.type(window->_tempoTextField, "1a20"), "120");
    expectTempo(120.0, 120.0, "120");
    EXPECT_EQ(rig->user.type(window->_tempoTextField, "97"), "97");
    expectTempo(97.0, 97.0, "97");

    // "12a" leaves "12" at the "a"; 12, like 300 and 44, is outside the
    // limits: refused, not stored, and the field shows the tempo again.
    for (const char* text : {"12a", "300", "44"}) {
        EXPECT_EQ(rig->user.type(window->_tempoTextField, text), "97") << text;
        expectTempo(97.0, 97.0, "97");
    }
    // No decimal point is taken while typing: "12.5" makes 125.
    EXPECT_EQ(rig->user.type(window->_tempoTextField, "12.5"), "125");
    expectTempo(125.0, 125.0, "125");
    EXPECT_EQ(rig->user.type(window->_tempoTextField, "250"), "250");
    expectTempo(250.0, 250.0, "250");
}

TEST_F(TempoWindow, OpeningShowsTheEnginesTempoRoundedToHundredths)
{
    rig->engine.m_tempo = 123.456;
    window->close();
    window->initialize();
    EXPECT_EQ(window->_tempoTextField->stringValue().utf8(), "123.46");
    EXPECT_DOUBLE_EQ(window->_tempoStepper->doubleValue(), 123.46);
    // Nothing is applied or stored by opening.
    EXPECT_DOUBLE_EQ(rig->engine.m_tempo.load(), 123.456);
    EXPECT_FALSE(rig->storedFile()->number("Tempo").has_value());

    // Another window changed the engine's tempo: both controls follow.
    rig->engine.m_tempo = 87.004;
    window->tempoChanged();
    EXPECT_EQ(window->_tempoTextField->stringValue().utf8(), "87");
    EXPECT_DOUBLE_EQ(window->_tempoStepper->doubleValue(), 87.0);
}

TEST_F(TempoWindow, AChangeTheAudioThreadNeverTakesLeavesTheEnginesTempoButIsStoredAndShown)
{
    // A cycle runs and has not taken the previous change: all 52 waits of
    // 5 ms pass.
    rig->engine.m_audioProcessing = true;
    rig->engine.m_tempoChanged = true;
    EXPECT_EQ(rig->user.type(window->_tempoTextField, "140"), "140");
    expectTempo(100.0, 140.0, "140");

    // Once the cycle took it, the next change goes through at once.
    rig->engine.m_tempoChanged = false;
    EXPECT_EQ(rig->user.type(window->_tempoTextField, "141"), "141");
    expectTempo(141.0, 141.0, "141");
    EXPECT_TRUE(rig->engine.m_tempoChanged.load());
    rig->engine.m_audioProcessing = false;
}

TEST_F(TempoWindow, LearningTakesTheNextMidiMessageAsTheTapTriggerAndShowsIt)
{
    VTMidiDevice* keys = rig->midiEntry("Keys", true);
    keys->active = true;
    rig->registry->getMidiDevice(keys)->active = true;
    ASSERT_TRUE(rig->engine.startMidi());
    EXPECT_TRUE(rig->user.runUntil([&] { return window->_midiLearnTextField->stringValue().utf8() == "-"; }));

    struct Learned {
        std::vector<uint8_t> message;
        const char* shown;
        int tempoTab; // status * 256 + first data byte
    };
    // 0xB0 * 256 + 7 = 45063; 0x90 * 256 + 60 = 36924.
    for (const Learned& learned : {Learned{{0xB0, 7, 127}, "CC 7", 45063}, Learned{{0x90, 60, 100}, "C3", 36924}}) {
        ASSERT_TRUE(rig->user.click(window->_startMidiLearn));
        EXPECT_EQ(window->_startMidiLearn->title().utf8(), "Stop");
        EXPECT_TRUE(rig->user.runUntil([&] { return window->_midiLearnTextField->stringValue().utf8() == "-"; }));

        ASSERT_TRUE(rig->midiWorld.deliverNow(rig->sources[0], learned.message));
        rig->midiWorld.waitUntilHandled();
        EXPECT_TRUE(rig->user.runUntil([&] {
            return window->_midiLearnTextField->stringValue().utf8() == learned.shown;
        })) << learned.shown;
        EXPECT_EQ(window->_startMidiLearn->title().utf8(), "Learn Tap");
        EXPECT_FALSE(rig->engine.m_midiLearn);
        EXPECT_EQ(rig->storedFile()->number("tempoTab"), learned.tempoTab);
    }

    // Stopping a learning run keeps no trigger and learns nothing.
    ASSERT_TRUE(rig->user.click(window->_startMidiLearn));
    ASSERT_TRUE(rig->user.click(window->_startMidiLearn));
    EXPECT_EQ(window->_startMidiLearn->title().utf8(), "Learn Tap");
    EXPECT_FALSE(rig->engine.m_midiLearn);
    EXPECT_EQ(rig->engine.m_midiLearned, nullptr);
    EXPECT_TRUE(rig->user.runUntil([&] { return window->_midiLearnTextField->stringValue().utf8() == "-"; }));
}

TEST_F(TempoWindow, TheWindowTakesTheKeyboardAndClosingStopsItsIdleTimer)
{
    EXPECT_TRUE(window->canBecomeKeyWindow());
    window->close();
    EXPECT_FALSE(window->isVisible());
    rig->engine.m_midiLearned = new VTMidiMsg{0xB0, 0xB0, 0, 9, 0, 0, nullptr};
    rig->user.runFor(0.2); // four timer periods
    EXPECT_EQ(window->_midiLearnTextField->stringValue().utf8(), "-");
    window->initialize();
    window->makeKeyAndOrderFront(nil);
    EXPECT_TRUE(rig->user.runUntil([&] { return window->_midiLearnTextField->stringValue().utf8() == "CC 9"; }));
}
