#include "PlayerRecorder.h"

#include "PlayerRecorderRules.h"
#include "RecordingFile.h"
#include "Tempo.h"
#include "VTVSTHostInterface.h"
#include "VTVSTHostLib.h"
#include "VTVSTHostRegistry.h"

#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <cmath>
#include <new>

using namespace vt::player;

namespace {

constexpr NSTimeInterval kIdleInterval = 0.05;
// Above everything while the interface loads; floating once shown.
constexpr NSWindowLevel kLevelWhileLoading = NSDockWindowLevel;

// The engine's player and recorder states.
constexpr int kStopped = 0;
constexpr int kRunning = 1;
constexpr int kWaitingForMidi = 2;

void showAlert(const char* informativeText)
{
    NSAlert alert;
    alert.setMessageText("Error");
    alert.setInformativeText(informativeText);
    alert.setAlertStyle(NSAlertStyleCritical);
    alert.runModal();
}

bool isOn(const NSButton* button)
{
    return button != nullptr && button->state() == NSControlStateValueOn;
}

NSControlStateValue stateOf(bool on)
{
    return on ? NSControlStateValueOn : NSControlStateValueOff;
}

} // namespace

// Keeps the idle timer out while an action waits in run-loop slices or
// shows a modal: a tick then would act on a half-changed window.
struct PlayerRecorderBusy {
    explicit PlayerRecorderBusy(PlayerRecorder& window) : m_window(window) { ++m_window.m_busy; }
    ~PlayerRecorderBusy() { --m_window.m_busy; }
    PlayerRecorderBusy(const PlayerRecorderBusy&) = delete;
    PlayerRecorderBusy& operator=(const PlayerRecorderBusy&) = delete;
    PlayerRecorder& m_window;
};

PlayerRecorder::PlayerRecorder(NSRect contentRect, NSUInteger styleMask) : NSWindow(contentRect, styleMask)
{
    _window = this;
}

PlayerRecorder::~PlayerRecorder() = default;

// ------------------------------------------------------------ helpers

bool PlayerRecorder::isInstrument() const
{
    return _hostLib != nullptr && _hostLib->m_plugin != nullptr && (_hostLib->m_plugin->flags & effFlagsIsSynth) != 0;
}

bool PlayerRecorder::hasOutputDevice() const
{
    return _hostInterface != nullptr && _registry != nullptr && _registry->outputDevice != nullptr;
}

bool PlayerRecorder::hasPlayerArrays() const
{
    return _hostInterface != nullptr && _hostInterface->m_playFrames[0] != nullptr &&
           _hostInterface->m_playFrames[1] != nullptr;
}

double PlayerRecorder::outputRate() const
{
    return _registry != nullptr && _registry->outputDevice != nullptr ? _registry->outputDevice->sampleRate : 0.0;
}

unsigned PlayerRecorder::fileSampleRate() const
{
    const VTAudioFileBase* file = _hostInterface != nullptr ? _hostInterface->m_audioReader.m_audioFile : nullptr;
    return file != nullptr ? file->m_sampleRate : 0;
}

int PlayerRecorder::effectiveRecordOption() const
{
    if (isInstrument() && _startRecordOption != kStartManually && _startRecordOption != kStartOnMidi)
        return kStartManually;
    return _startRecordOption;
}

void PlayerRecorder::enablePlayerControls(bool enabled)
{
    for (NSControl* control :
         {static_cast<NSControl*>(_sampleLoadBtn), static_cast<NSControl*>(_sampleLoadNextBtn),
          static_cast<NSControl*>(_sampleLoadPrevBtn), static_cast<NSControl*>(_calculateTempoBtn),
          static_cast<NSControl*>(_playLoopedBtn), static_cast<NSControl*>(_startPlayingByMidiBtn)})
        control->setEnabled(enabled);
}

void PlayerRecorder::writeSettings()
{
    if (_registry != nullptr)
        _registry->write();
}

// ------------------------------------------------------------ set-up

void PlayerRecorder::awakeFromNib()
{
    NSWindow::awakeFromNib();
    // The interface leaves the window hidden, and a hidden window takes no
    // level: on Linux a stay-on-top hint on a window never shown keeps the
    // main window from becoming key. initialize sets the floating level.
    if (isVisible())
        setLevel(kLevelWhileLoading);
}

void PlayerRecorder::initialize()
{
    // Opened again while open: a fresh state would lose track of a running
    // player or take, so the window only comes forward.
    if (_idleTimer != nullptr && isVisible()) {
        orderFront(nil);
        return;
    }

    // --- the timer and a fresh state
    _idleTimer = NSTimer::scheduledTimerWithTimeInterval(kIdleInterval, this, &PlayerRecorder::idleTimer, true);
    _runningPlay = false;
    _runningRecord = false;

    // --- an instrument has no input for the player
    const bool instrument = isInstrument();
    if (instrument) {
        for (NSControl* control :
             {static_cast<NSControl*>(_sampleLoadBtn), static_cast<NSControl*>(_sampleLoadNextBtn),
              static_cast<NSControl*>(_sampleLoadPrevBtn), static_cast<NSControl*>(_sampleResetBtn),
              static_cast<NSControl*>(_sampleName), static_cast<NSControl*>(_startStopPlay),
              static_cast<NSControl*>(_timefieldPlay), static_cast<NSControl*>(_calculatedTempo),
              static_cast<NSControl*>(_calculateTempoBtn), static_cast<NSControl*>(_playLoopedBtn),
              static_cast<NSControl*>(_startPlayingByMidiBtn)})
            control->setEnabled(false);
    }

    _calcTempo = _registry != nullptr && _registry->sampleCalcTempo;
    _calculateTempoBtn->setState(stateOf(_calcTempo));
    if (!instrument) {
        _sampleName->setStringValue("");
        _timefieldPlay->setStringValue("0:00");
    }
    _timefieldRecord->setStringValue("0:00 / max:");

    // --- the sample of the last run, silently
    _sampleLengthFrames = 0;
    _sampleLength = 0;
    if (_registry != nullptr && _registry->samplePath.size() >= 5) {
        _samplePath = _registry->samplePath;
        const unsigned frames = loadSample(_samplePath);
        if (frames > 0) {
            _sampleLengthFrames = frames;
            _sampleLength = static_cast<int>(secondsOf(frames, outputRate()) + 0.5);
            const size_t slash = _samplePath.rfind('/');
            if (slash != std::string::npos && slash + 1 < _samplePath.size())
                _sampleName->setStringValue(_samplePath.substr(slash + 1));
            calculateTempo();
        }
    }

    // --- the switches and pop-ups from the settings
    _playLooped = _registry != nullptr && _registry->sampleLooped;
    _startPlayingByMidi = _registry != nullptr && _registry->sampleStartByMidi;
    _playLoopedBtn->setState(stateOf(_playLooped));
    _startPlayingByMidiBtn->setState(stateOf(_startPlayingByMidi));

    _startRecordOption = _registry != nullptr ? _registry->sampleRecordOption : 0;
    _recordStartOptionBtn->removeAllItems();
    const int offered = instrument ? 2 : 4;
    for (int i = 0; i < offered; ++i)
        _recordStartOptionBtn->addItemWithTitle(kStartOptionTitles[i]);
    _recordStartOptionBtn->selectItemAtIndex(
        _startRecordOption >= 0 && _startRecordOption < offered ? _startRecordOption : 0);

    _recordMaxBars = _registry != nullptr ? _registry->sampleRecordMaxBars : 0;
    _recordMaxLength->removeAllItems();
    for (const char* title : kMaxLengthTitles)
        _recordMaxLength->addItemWithTitle(title);
    _recordMaxLength->selectItemAtIndex(_recordMaxBars >= 0 && _recordMaxBars < kMaxLengthCount ? _recordMaxBars : 0);

    _openWndOnStartup->setState(stateOf(_registry != nullptr && _registry->openPlayerOnStartup));

    // --- show it, floating
    setIsVisible(true);
    updateControlStates();
    center();
    setLevel(NSFloatingWindowLevel);

    if (_registry != nullptr && _registry->startPlayerAutomatic)
        onStartPlay(nil);
    if (_hostInterface != nullptr)
        _hostInterface->m_playerDialogOpen.store(true);
}

void PlayerRecorder::setPosition()
{
    if (_registry == nullptr)
        return;
    int x = 0;
    int y = 0;
    if (!_registry->getkeyvalue("playerPositionX", &x))
        x = 0;
    if (!_registry->getkeyvalue("playerPositionY", &y))
        y = 0;
    if (x != 0 || y != 0) {
        setFrameOrigin(NSMakePoint(x, y));
        display();
    }
}

void PlayerRecorder::orderOut(id sender)
{
    NSWindow::orderOut(sender);
    // Only an opened window has anything to stop and a place to store.
    if (_idleTimer == nullptr)
        return;
    if (_runningPlay)
        onStartPlay(sender);
    if (_runningRecord)
        onStartRecord(sender);
    if (_hostInterface != nullptr)
        _hostInterface->m_playerDialogOpen.store(false);
    _idleTimer->invalidate();
    _idleTimer.reset();
    if (_registry != nullptr) {
        const NSPoint origin = frame().origin;
        _registry->setkeyvalue("playerPositionX", static_cast<int>(origin.x));
        _registry->setkeyvalue("playerPositionY", static_cast<int>(origin.y));
    }
}

// ------------------------------------------------------------ loading

unsigned PlayerRecorder::loadSample(const std::string& path)
{
    if (_hostInterface == nullptr)
        return 0;
    PlayerRecorderBusy busy(*this);
    std::string writable = path;
    return _hostInterface->loadPlayerFile(writable.data());
}

void PlayerRecorder::showLoadedSample(unsigned frames)
{
    _sampleLengthFrames = frames;
    _sampleLength = static_cast<int>(secondsOf(frames, outputRate()) + 0.5);
    _sampleName->setStringValue(lastPathComponent(_samplePath));
    if (_registry != nullptr) {
        _registry->samplePath = _samplePath;
        _registry->write();
    }
    calculateTempo();
}

void PlayerRecorder::onLoadSample(id)
{
    std::vector<NSString> types = {"aif", "aiff", "wav"};
    if (NSClassFromString("AVURLAsset") != nullptr) {
        types.push_back("m4a");
        types.push_back("mp3");
    }
    NSOpenPanel panel;
    panel.setAllowedFileTypes(types);
    panel.setCanChooseFiles(true);
    panel.setCanChooseDirectories(false);
    panel.setAllowsMultipleSelection(false);
    NSModalResponse response;
    {
        PlayerRecorderBusy busy(*this);
        response = panel.runModal();
    }
    if (response != NSModalResponseOK || panel.URLs().empty())
        return;

    _samplePath = panel.URLs().front().path().utf8();
    const unsigned frames = loadSample(_samplePath);
    if (frames == 0) {
        {
            PlayerRecorderBusy busy(*this);
            showAlert("Error loading Sample File!");
        }
        _sampleName->setStringValue("");
        _samplePath.clear();
        return;
    }
    showLoadedSample(frames);
}

void PlayerRecorder::onLoadNextSample(id)
{
    loadNeighbour(true);
}

void PlayerRecorder::onLoadPreviousSample(id)
{
    loadNeighbour(false);
}

void PlayerRecorder::loadNeighbour(bool next)
{
    if (_samplePath.empty())
        return;
    const NSString folder = NSString(_samplePath).stringByDeletingLastPathComponent();
    NSDirectoryEnumerator entries = NSFileManager::defaultManager()->enumeratorAtURL(
        NSURL::fileURLWithPath(folder), NSDirectoryEnumerationSkipsHiddenFiles);
    std::vector<std::string> candidates;
    for (NSURL entry = entries.nextObject(); entry; entry = entries.nextObject())
        if (isSampleExtension(entry.pathExtension().utf8()))
            candidates.push_back(entry.path().utf8());

    // A file that does not load is passed over; neither direction says so.
    for (const std::string& path : samplesToTry(candidates, _sampleName->stringValue().utf8(), next)) {
        const unsigned frames = loadSample(path);
        if (frames > 0) {
            _samplePath = path;
            showLoadedSample(frames);
            return;
        }
        _samplePath.clear();
    }
}

// ------------------------------------------------------------ playing

void PlayerRecorder::onStartPlay(id sender)
{
    if (!_startStopPlay->isEnabled())
        return;
    _runningPlay = !_runningPlay;
    VTVSTHostInterface* engine = _hostInterface;
    const int option = effectiveRecordOption();

    if (!_runningPlay) {
        // --- stop
        _startStopPlay->setTitle("Play");
        enablePlayerControls(true);
        if (hasOutputDevice() && hasPlayerArrays()) {
            engine->m_audioPPQ.store(0.0);
            engine->m_playerPlayStatus.store(kStopped);
            engine->m_playStatus.store(false);
            engine->m_playStatusChanged.store(true);
        }
        if (option == kStartStopWithPlay && sender != nil && _runningRecord)
            onStartRecord(nil);
    } else if (!hasOutputDevice() || !hasPlayerArrays()) {
        _runningPlay = false;
    } else {
        // --- start; with options 2 and 3 the recorder starts in the same
        // cycle as the player
        const bool withRecorder = (option == kStartOnPlay || option == kStartStopWithPlay) && !_runningRecord;
        const bool jointStart = withRecorder && !_startPlayingByMidi;
        const double rate = outputRate();
        engine->m_numPlayerPlayedFrames = 0;
        engine->m_playerPlayLooped = _playLooped;
        engine->m_playerPlayDone = false;
        engine->m_counterInc =
            rate > 0 ? static_cast<double>(static_cast<float>(fileSampleRate()) / static_cast<float>(rate)) : 0.0;
        engine->m_counter = 0;
        engine->m_audioPPQ.store(0.0);
        engine->m_playerPlayStatus.store(jointStart ? kStopped : _startPlayingByMidi ? kWaitingForMidi : kRunning);
        engine->m_playStatus.store(true);
        engine->m_playStatusChanged.store(true);
        _startStopPlay->setTitle(_startPlayingByMidi ? "Waiting" : "Stop");
        enablePlayerControls(false);
        if (withRecorder) {
            m_jointStart = jointStart;
            onStartRecord(nil);
            m_jointStart = false;
            if (jointStart) {
                // Without a take to record into, the player starts alone.
                const bool armed = engine->m_recordFrames[0] != nullptr && engine->m_recordFrames[1] != nullptr;
                if (armed)
                    engine->m_playerRecorderStatusChanged.store(true);
                else
                    engine->m_playerPlayStatus.store(kRunning);
            }
        }
    }
    updateControlStates();
}

void PlayerRecorder::onReset(id)
{
    _timefieldPlay->setStringValue("0:00");
    if (_hostInterface == nullptr)
        return;
    _hostInterface->m_audioPPQ.store(0.0);
    _hostInterface->m_counter = 0;
    _hostInterface->m_numPlayerPlayedFrames = 0;
}

// ------------------------------------------------------------ recording

void PlayerRecorder::onStartRecord(id sender)
{
    _runningRecord = sender != nil ? !_runningRecord : _runningPlay;
    if (_runningRecord)
        startRecording(sender);
    else
        stopRecording();
}

void PlayerRecorder::startRecording(id sender)
{
    const int option = effectiveRecordOption();
    const double rate = outputRate();

    // --- armed or running, and its title
    int status = kRunning;
    if (option == kStartOnMidi)
        status = kWaitingForMidi;
    else if (sender == nil && (_startPlayingByMidi || option == kStartOnPlay || option == kStartStopWithPlay))
        status = kWaitingForMidi;
    const char* title = status == kWaitingForMidi ? "Waiting" : "Stop Recording";

    // --- the length at which the take ends by itself
    uint64_t length = _playLooped ? 960 * static_cast<uint64_t>(rate >= 1 ? rate : 0) : _sampleLengthFrames;
    if (option != kStartStopWithPlay) {
        length = maxLengthFrames(_recordMaxBars, rate, _hostInterface != nullptr ? _hostInterface->m_tempo.load() : 0);
    } else if (sender == nil) {
        const unsigned fileRate = fileSampleRate();
        length = fileRate > 0 ? static_cast<uint64_t>(rate * static_cast<double>(length) / fileRate) : 0;
    }
    _recordLengthFrames = static_cast<unsigned>(std::min<uint64_t>(length, UINT32_MAX));

    // --- a fresh buffer; without an output device (or a rate) the
    // recording stays marked as running without one
    const uint64_t capacity = recordCapacity(_recordLengthFrames, rate);
    if (hasOutputDevice() && capacity > 0) {
        VTVSTHostInterface* engine = _hostInterface;
        // The arrays change only once no cycle can still write them.
        engine->m_recordStatus.store(kStopped);
        {
            PlayerRecorderBusy busy(*this);
            engine->waitForAudioCycle();
        }
        freeRecordArrays();
        float* left = new (std::nothrow) float[capacity];
        float* right = new (std::nothrow) float[capacity];
        if (left == nullptr || right == nullptr) {
            delete[] left;
            delete[] right;
            _runningRecord = false;
            {
                PlayerRecorderBusy busy(*this);
                showAlert("Not enough memory to record!");
            }
            _startStopRecord->setTitle("Start Recording");
            updateControlStates();
            return;
        }
        engine->m_maxRecordFrames = static_cast<unsigned>(capacity);
        engine->m_numRecordedFrames = 0;
        engine->m_recordFrames[0] = left;
        engine->m_recordFrames[1] = right;
        // Published last: the cycle sees the arrays complete.
        engine->m_recordStatus.store(m_jointStart ? kStopped : status);
        _startStopRecord->setTitle(title);
    }
    updateControlStates();
}

void PlayerRecorder::stopRecording()
{
    VTVSTHostInterface* engine = _hostInterface;
    if (hasOutputDevice())
        engine->m_recordStatus.store(kStopped);
    if (engine == nullptr || engine->m_numRecordedFrames == 0 || engine->m_recordFrames[0] == nullptr ||
        engine->m_recordFrames[1] == nullptr) {
        updateControlStates();
        return;
    }
    {
        // The take is complete once no cycle that saw it running is left.
        PlayerRecorderBusy busy(*this);
        engine->waitForAudioCycle();
        offerToSave();
    }
    freeRecordArrays();
    _startStopRecord->setTitle("Start Recording");
    updateControlStates();
}

void PlayerRecorder::offerToSave()
{
    VTVSTHostInterface* engine = _hostInterface;
    const unsigned frames = std::min(engine->m_numRecordedFrames.load(), engine->m_maxRecordFrames);
    const double rate = outputRate();
    const unsigned wholeRate = rate >= 1 && rate < 4294967296.0 ? static_cast<unsigned>(rate) : 0;
    // The take stays in memory until it is saved or the user lets it go:
    // cancelling the save panel asks again.
    for (;;) {
        CFOptionFlags response = kCFUserNotificationCancelResponse;
        const SInt32 shown = CFUserNotificationDisplayAlert(
            0, kCFUserNotificationNoteAlertLevel, nullptr, nullptr, nullptr, CFSTR("Veltrane"),
            CFSTR("Would you like to save the recording?"), CFSTR("Yes"), CFSTR("No"), nullptr, &response);
        if (shown != 0 || response != kCFUserNotificationDefaultResponse)
            return;

        for (float* channel : engine->m_recordFrames)
            for (unsigned i = 0; i < frames; ++i)
                channel[i] = std::clamp(channel[i], -1.0f, 1.0f);

        for (;;) {
            NSSavePanel panel;
            panel.setAllowedFileTypes({"aiff"});
            if (panel.runModal() != NSModalResponseOK || !panel.URL())
                break;
            if (saveRecording(panel.URL().path().utf8(), engine->m_recordFrames, frames, wholeRate))
                return;
            showAlert("Error saving recording to file!");
        }
    }
}

void PlayerRecorder::freeRecordArrays()
{
    VTVSTHostInterface* engine = _hostInterface;
    delete[] engine->m_recordFrames[0];
    delete[] engine->m_recordFrames[1];
    engine->m_recordFrames[0] = nullptr;
    engine->m_recordFrames[1] = nullptr;
    engine->m_numRecordedFrames = 0;
    engine->m_maxRecordFrames = 0;
}

// ------------------------------------------------------------ the timer

void PlayerRecorder::idleTimer(NSTimer*)
{
    if (m_busy > 0 || _hostInterface == nullptr)
        return;
    VTVSTHostInterface* engine = _hostInterface;
    const double rate = outputRate();

    if (_runningPlay) {
        if (engine->m_playerPlayStatus.load() == kRunning)
            _startStopPlay->setTitle("Stop");
        const unsigned played = engine->m_numPlayerPlayedFrames;
        // The played count is in output frames; a file at another rate
        // lasts its frames times output rate / file rate of them.
        const unsigned fileRate = fileSampleRate();
        uint64_t end = _sampleLengthFrames;
        if (fileRate > 0 && rate > 0)
            end = static_cast<uint64_t>(std::ceil(_sampleLengthFrames * rate / fileRate));
        if (played >= end && !_playLooped) {
            onStartPlay(nil);
            return;
        }
        _timefieldPlay->setStringValue(timeText(secondsOf(played, rate), false));
    }

    if (_runningRecord) {
        if (engine->m_recordStatus.load() == kRunning)
            _startStopRecord->setTitle("Stop Recording");
        const unsigned recorded = engine->m_numRecordedFrames;
        if (recorded >= _recordLengthFrames) {
            onStartRecord(this);
            return;
        }
        _timefieldRecord->setStringValue(timeText(secondsOf(recorded, rate), true));
    } else {
        _startStopRecord->setTitle("Start Recording");
    }
    updateControlStates();
}

void PlayerRecorder::updateControlStates()
{
    if (!isVisible())
        return;
    if (!_runningPlay && !isInstrument()) {
        _startStopPlay->setTitle("Play");
        _timefieldPlay->setStringValue("0:00");
    }
    if (_runningRecord) {
        _recordStartOptionBtn->setEnabled(false);
    } else {
        _recordStartOptionBtn->setEnabled(true);
        _startStopRecord->setTitle("Start Recording");
        _timefieldRecord->setStringValue("0:00 / max:");
    }
    _recordMaxLength->setEnabled(true);
    switch (effectiveRecordOption()) {
    case kStartManually:
    case kStartOnMidi:
        _startStopRecord->setEnabled(true);
        break;
    case kStartOnPlay:
        // Stopping is allowed; starting comes from Play.
        _startStopRecord->setEnabled(_runningRecord);
        break;
    case kStartStopWithPlay:
        _startStopRecord->setEnabled(false);
        _recordMaxLength->setEnabled(false);
        break;
    default:
        _startStopRecord->setEnabled(false);
        break;
    }
}

// ------------------------------------------------------------ tempo

void PlayerRecorder::calculateTempo()
{
    if (!_calcTempo || _sampleLengthFrames == 0) {
        _calculatedTempo->setStringValue("");
        return;
    }
    const SampleTempo tempo = tempoFromSample(_sampleLengthFrames, fileSampleRate());
    if (!tempo.found) {
        _calculatedTempo->setStringValue(tempoText(tempo));
        return;
    }
    if (_hostInterface != nullptr && tempo.bpm != _hostInterface->m_tempo.load()) {
        // The engine's bounded hand-over; when it gives up the tempo stays.
        PlayerRecorderBusy busy(*this);
        _hostInterface->changeTempo(tempo.bpm);
    }
    if (_tempoWindow != nullptr)
        _tempoWindow->tempoChanged();
    _calculatedTempo->setStringValue(tempoText(tempo));
}

// ------------------------------------------------------------ options

void PlayerRecorder::onOpenOnStartup(id)
{
    if (_registry == nullptr)
        return;
    _registry->openPlayerOnStartup = isOn(_openWndOnStartup);
    writeSettings();
}

void PlayerRecorder::onCalculateTempo(id)
{
    _calcTempo = isOn(_calculateTempoBtn);
    if (_registry != nullptr)
        _registry->sampleCalcTempo = _calcTempo;
    writeSettings();
    calculateTempo();
}

void PlayerRecorder::onPlayLooped(id)
{
    _playLooped = isOn(_playLoopedBtn);
    if (_registry != nullptr)
        _registry->sampleLooped = _playLooped;
    writeSettings();
    updateControlStates();
}

void PlayerRecorder::onStartPlayingByMidi(id)
{
    _startPlayingByMidi = isOn(_startPlayingByMidiBtn);
    if (_registry != nullptr)
        _registry->sampleStartByMidi = _startPlayingByMidi;
    writeSettings();
    updateControlStates();
}

void PlayerRecorder::recordOptionChanged(id)
{
    _startRecordOption = static_cast<int>(_recordStartOptionBtn->indexOfSelectedItem());
    if (_registry != nullptr)
        _registry->sampleRecordOption = _startRecordOption;
    writeSettings();
    updateControlStates();
}

void PlayerRecorder::recordMaxBarsChanged(id)
{
    _recordMaxBars = static_cast<int>(_recordMaxLength->indexOfSelectedItem());
    if (_registry != nullptr)
        _registry->sampleRecordMaxBars = _recordMaxBars;
    writeSettings();
    updateControlStates();
}
