// The tempo window: the host tempo typed, stepped or tapped, and the MIDI
// tap trigger learned. Every accepted tempo goes to the engine at once and
// is stored in the settings store under "Tempo".
//
// Thread contract: main thread only.
#pragma once

#include <AppKit/AppKit.h>

#include <cstdint>
#include <memory>
#include <vector>

class VTAudioLib;
class VTMidiLib;
class VTVSTHostInterface;
class VTVSTHostLib;
class VTVSTHostRegistry;
struct VTMidiMsg;

// The tempo field's input rule: while the user types, a text is accepted
// when it is empty or an integer followed by nothing but blanks.
class TempoFormatter : public NSNumberFormatter {
public:
    TempoFormatter();
    bool isPartialStringValid(const NSString& partialString, NSString* newString, NSString* error) override;
};

class Tempo : public NSWindow {
public:
    // init and initWithContentRect:styleMask:backing:defer:; the window
    // resource (loadTempoWindow) makes the controls.
    Tempo();
    Tempo(NSRect contentRect, NSUInteger styleMask);
    ~Tempo() override;

    // --- outlets (owned by the window's views)
    NSWindow* _selfWindow = nullptr;
    NSTextField* _tempoTextField = nullptr; // with a TempoFormatter
    NSStepper* _tempoStepper = nullptr;
    NSButton* _startMidiLearn = nullptr; // "Learn Tap" / "Stop"
    NSTextField* _midiLearnTextField = nullptr;
    NSButton* _tapButton = nullptr; // sends tapClicked:

    // --- properties, set by the main window at its first activation
    void setPluginWindow(NSWindow* pluginWindow) { _pluginWindow = pluginWindow; }
    void setHostInterface(VTVSTHostInterface* hostInterface) { _hostInterface = hostInterface; }
    void setHostLib(VTVSTHostLib* hostLib) { _hostLib = hostLib; }
    void setAudioLib(VTAudioLib* audioLib) { _audioLib = audioLib; }
    void setMidiLib(VTMidiLib* midiLib) { _midiLib = midiLib; }
    void setRegistry(VTVSTHostRegistry* registry) { _registry = registry; }
    NSWindow* pluginWindow() const { return _pluginWindow; }

    // Prepares each opening: a new tap series, the controls from the
    // engine's tempo and the idle timer started.
    void initialize();
    // Hides the window and stops the idle timer.
    void orderOut(id sender) override;
    // Takes the keyboard whatever the window's style (docked, it has none).
    bool canBecomeKeyWindow() const override;
    // Shows the engine's tempo again (after another window changed it);
    // nothing is applied or stored.
    void tempoChanged();

    // --- actions
    void tempoTextFieldChanged(id sender);
    void stepperClicked(id sender);
    void tapClicked(id sender);
    void tapLearnClicked(id sender);

    // Every 50 ms while open: shows the learned tap trigger.
    void idleTimer(NSTimer* timer);
    NSString int2Notes(int note) const;

private:
    void commonInit();
    // Hands the tempo to the engine, stores it and shows it.
    void applyTempo(double tempo);
    void showTempo(double tempo);

    NSWindow* _pluginWindow = nullptr;
    VTVSTHostInterface* _hostInterface = nullptr;
    VTVSTHostLib* _hostLib = nullptr;
    VTAudioLib* _audioLib = nullptr;
    VTMidiLib* _midiLib = nullptr;
    VTVSTHostRegistry* _registry = nullptr;

    std::unique_ptr<NSTimer> _timerIdle;
    uint64_t _lastTapTime = 0; // host clock of the previous tap
    uint64_t _taptime = 0;     // milliseconds of the intervals since the last pause
    uint32_t _tapcount = 0;    // intervals in _taptime
    // Triggers discarded when learning starts. The MIDI thread may be
    // comparing a message with one at that moment, so they are kept until
    // the window goes (after MIDI has stopped) instead of being freed.
    std::vector<std::unique_ptr<VTMidiMsg>> _discardedTriggers;
};

// The window resource: builds the tempo window, connects every outlet and
// action and answers it, hidden.
std::unique_ptr<Tempo> loadTempoWindow();
