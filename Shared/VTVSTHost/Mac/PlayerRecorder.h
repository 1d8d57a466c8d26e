// The player and recorder window. The player half loads a sample file into
// the engine's player, plays it once or looped through the plug-in, steps
// to the next or previous sample in its folder and can derive the tempo
// from the sample's length. The recorder half records the engine's output
// into memory for a chosen maximum length, started by hand, by the first
// MIDI event or together with the player, and then offers to save the take
// as a 16-bit stereo AIFF file. Every setting is written to the settings
// store as soon as it changes.
//
// Thread contract: main thread only. The audio thread meets this window
// only through the engine's atomic fields.
#pragma once

#include <AppKit/AppKit.h>

#include <memory>
#include <string>

class Tempo;
class VTVSTHostInterface;
class VTVSTHostLib;
class VTVSTHostRegistry;

class PlayerRecorder : public NSWindow {
public:
    PlayerRecorder(NSRect contentRect, NSUInteger styleMask);
    ~PlayerRecorder() override;

    // --- outlets (owned by the window's views)
    NSWindow* _window = nullptr;
    NSButton* _sampleLoadBtn = nullptr;
    NSButton* _sampleLoadNextBtn = nullptr;
    NSButton* _sampleLoadPrevBtn = nullptr;
    NSButton* _sampleResetBtn = nullptr;
    NSTextField* _sampleName = nullptr;
    NSButton* _startStopPlay = nullptr;   // "Play", "Stop", "Waiting"
    NSButton* _startStopRecord = nullptr; // "Start Recording", "Stop Recording", "Waiting"
    NSButton* _calculateTempoBtn = nullptr;
    NSTextField* _calculatedTempo = nullptr;
    NSButton* _playLoopedBtn = nullptr;
    NSButton* _startPlayingByMidiBtn = nullptr;
    NSTextField* _timefieldPlay = nullptr;
    NSTextField* _timefieldRecord = nullptr;
    NSPopUpButton* _recordStartOptionBtn = nullptr;
    NSPopUpButton* _recordMaxLength = nullptr;
    NSButton* _openWndOnStartup = nullptr;

    // --- properties, set by the main window at its first activation
    void setTempoWindow(Tempo* tempoWindow) { _tempoWindow = tempoWindow; }
    void setHostInterface(VTVSTHostInterface* hostInterface) { _hostInterface = hostInterface; }
    void setHostLib(VTVSTHostLib* hostLib) { _hostLib = hostLib; }
    void setRegistry(VTVSTHostRegistry* registry) { _registry = registry; }

    // --- set-up and closing
    void awakeFromNib() override;
    // Sets the window up from the settings and shows it; each opening.
    void initialize();
    // Moves the window to its stored origin, if one was stored.
    void setPosition();
    // Closes: stops the player and the recording (asking about the take),
    // stops the idle timer and stores the window's origin.
    void orderOut(id sender) override;

    // --- actions
    void onLoadSample(id sender);
    void onLoadNextSample(id sender);
    void onLoadPreviousSample(id sender);
    void onStartPlay(id sender);
    void onStartRecord(id sender);
    void onReset(id sender);
    void onOpenOnStartup(id sender);
    void onCalculateTempo(id sender);
    void onPlayLooped(id sender);
    void onStartPlayingByMidi(id sender);
    void recordOptionChanged(id sender);
    void recordMaxBarsChanged(id sender);

    // Every 50 ms while open: titles and times, the end of an unlooped
    // sample and of the record length.
    void idleTimer(NSTimer* timer);
    void updateControlStates();
    void calculateTempo();

    // --- state, as the window's model names it
    bool _runningPlay = false;
    bool _runningRecord = false;
    bool _playLooped = false;
    bool _startPlayingByMidi = false;
    int _startRecordOption = 0;
    int _recordMaxBars = 0;
    std::string _samplePath;
    int _sampleLength = 0;            // seconds, rounded
    unsigned _sampleLengthFrames = 0; // as loadPlayerFile answered
    unsigned _recordLengthFrames = 0; // a recording stops by itself here
    std::unique_ptr<NSTimer> _idleTimer;
    bool _calcTempo = false;

private:
    bool isInstrument() const;
    bool hasOutputDevice() const;
    bool hasPlayerArrays() const;
    double outputRate() const;
    unsigned fileSampleRate() const;
    // The record option the window acts on: the stored one, or "Manually"
    // when the stored one is not offered (options 2 and 3 for an
    // instrument, which has no player to start with).
    int effectiveRecordOption() const;
    void enablePlayerControls(bool enabled);
    void writeSettings();

    unsigned loadSample(const std::string& path);
    void showLoadedSample(unsigned frames);
    void loadNeighbour(bool next);

    void startRecording(id sender);
    void stopRecording();
    // Asks about the take until it is saved or the user says "No".
    void offerToSave();
    void freeRecordArrays();

    Tempo* _tempoWindow = nullptr;
    VTVSTHostInterface* _hostInterface = nullptr;
    VTVSTHostLib* _hostLib = nullptr;
    VTVSTHostRegistry* _registry = nullptr;

    // Set while onStartPlay starts player and recorder together: the
    // recorder is not armed on its own, the cycle starts both at once.
    bool m_jointStart = false;
    // Above 0 while an action waits in run-loop slices or a modal is open:
    // the idle timer then leaves the window alone.
    int m_busy = 0;
    friend struct PlayerRecorderBusy;
};

// The window resource: builds the window, connects every outlet and
// action, sends awakeFromNib and answers it, hidden.
std::unique_ptr<PlayerRecorder> loadPlayerRecorderWindow();
