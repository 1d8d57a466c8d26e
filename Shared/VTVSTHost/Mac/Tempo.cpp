#include "Tempo.h"

#include "VTMidiMsg.h"
#include "VTVSTHostInterface.h"
#include "VTVSTHostRegistry.h"
#include "WindowRules.h"

#include <mach/mach_time.h>

namespace {

constexpr NSTimeInterval kIdleInterval = 0.05;
// One beat at the lowest tempo, just over 1.333 s: a longer pause starts a
// new tap series.
constexpr uint64_t kTapResetNanoseconds = 1334000000;
constexpr uint8_t kControlChangeFirstChannel = 0xB0;

uint64_t hostTicksToNanoseconds(uint64_t ticks)
{
    mach_timebase_info_data_t timebase{};
    if (mach_timebase_info(&timebase) != KERN_SUCCESS || timebase.numer == 0 || timebase.denom == 0 ||
        timebase.numer == timebase.denom)
        return ticks;
    return static_cast<uint64_t>(static_cast<long double>(ticks) * timebase.numer / timebase.denom);
}

} // namespace

// ------------------------------------------------------------ TempoFormatter

TempoFormatter::TempoFormatter()
{
    setMinimumFractionDigits(0);
    setMaximumFractionDigits(2);
}

bool TempoFormatter::isPartialStringValid(const NSString& partialString, NSString*, NSString*)
{
    if (partialString.length() == 0)
        return true;
    // The scanner skips blanks before the number and at the end, so "isAtEnd"
    // holds when nothing but blanks follows the integer.
    NSScanner scanner(partialString);
    int value = 0;
    return scanner.scanInt(&value) && scanner.isAtEnd();
}

// ------------------------------------------------------------ Tempo

Tempo::Tempo() : NSWindow(NSMakeRect(0, 0, 360, 72))
{
    commonInit();
}

Tempo::Tempo(NSRect contentRect, NSUInteger styleMask) : NSWindow(contentRect, styleMask)
{
    commonInit();
}

Tempo::~Tempo() = default;

void Tempo::commonInit()
{
    _selfWindow = this;
}

NSString Tempo::int2Notes(int note) const
{
    return NSString(noteName(note));
}

void Tempo::initialize()
{
    _lastTapTime = 0;
    _tapcount = 0;
    if (_hostInterface != nullptr)
        _tempoStepper->setDoubleValue(roundTempo(_hostInterface->m_tempo.load()));
    _tempoTextField->setDoubleValue(_tempoStepper->doubleValue());
    // A second opening without a close in between keeps one timer.
    _timerIdle = NSTimer::scheduledTimerWithTimeInterval(kIdleInterval, this, &Tempo::idleTimer, true);
}

void Tempo::orderOut(id sender)
{
    NSWindow::orderOut(sender);
    if (_timerIdle != nullptr)
        _timerIdle->invalidate();
    _timerIdle.reset();
}

bool Tempo::canBecomeKeyWindow() const
{
    return true;
}

void Tempo::tempoChanged()
{
    if (_hostInterface != nullptr)
        showTempo(roundTempo(_hostInterface->m_tempo.load()));
}

void Tempo::showTempo(double tempo)
{
    _tempoStepper->setDoubleValue(tempo);
    _tempoTextField->setDoubleValue(tempo);
}

void Tempo::applyTempo(double tempo)
{
    if (_hostInterface == nullptr)
        return;
    // --- hand-over to the audio thread; a change the audio thread does not
    // take within the waits leaves the engine's tempo as it was
    if (tempo != _hostInterface->m_tempo.load())
        _hostInterface->changeTempo(tempo);
    // --- stored and shown
    if (_registry != nullptr) {
        _registry->tempo = tempo;
        _registry->write();
    }
    showTempo(tempo);
}

// ------------------------------------------------------------ actions

void Tempo::tempoTextFieldChanged(id)
{
    const double tempo = roundTempo(_tempoTextField->doubleValue());
    if (isTempoWithinLimits(tempo)) {
        applyTempo(tempo);
        return;
    }
    // A tempo the engine cannot run is refused: the field shows the
    // current tempo again and nothing is stored.
    tempoChanged();
}

void Tempo::stepperClicked(id)
{
    applyTempo(roundTempo(limitTempo(_tempoStepper->doubleValue())));
}

void Tempo::tapClicked(id)
{
    const uint64_t now = mach_absolute_time();
    const uint64_t elapsed = hostTicksToNanoseconds(now - _lastTapTime);
    if (_lastTapTime != 0 && elapsed < kTapResetNanoseconds) {
        _taptime += elapsed / 1000000;
        ++_tapcount;
        applyTempo(tapTempo(_taptime, _tapcount));
    } else {
        // The first tap, or one after a pause, starts a new series.
        _tapcount = 0;
        _taptime = 0;
    }
    _lastTapTime = now;
}

void Tempo::tapLearnClicked(id)
{
    if (_hostInterface == nullptr)
        return;
    if (_hostInterface->m_midiLearn) {
        _hostInterface->m_midiLearn = false;
        _startMidiLearn->setTitle("Learn Tap");
        return;
    }
    if (VTMidiMsg* learned = _hostInterface->m_midiLearned) {
        _hostInterface->m_midiLearned = nullptr;
        _discardedTriggers.emplace_back(learned);
    }
    _hostInterface->m_midiLearn = true;
    _startMidiLearn->setTitle("Stop");
}

void Tempo::idleTimer(NSTimer*)
{
    const VTMidiMsg* learned = _hostInterface != nullptr ? _hostInterface->m_midiLearned : nullptr;
    if (learned == nullptr) {
        _midiLearnTextField->setStringValue("-");
        return;
    }
    _startMidiLearn->setTitle("Learn Tap");
    if (learned->status == kControlChangeFirstChannel)
        _midiLearnTextField->setStringValue(NSString::stringWithFormat("CC %d", static_cast<int>(learned->data1)));
    else
        _midiLearnTextField->setStringValue(int2Notes(learned->data1));
}
