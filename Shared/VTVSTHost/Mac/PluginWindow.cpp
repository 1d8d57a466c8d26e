#include "PluginWindow.h"

#include "AutomaticDeviceChoice.h"
#include "PlayerRecorder.h"
#include "Preferences.h"
#include "Tempo.h"
#include "VTMidiMsg.h"
#include "VTVSTHostRegistry.h"

#include <AVFoundation/AVFoundation.h>

#include <algorithm>

namespace {

constexpr NSTimeInterval kIdleInterval = 0.05;

void showError(const char* text)
{
    NSAlert alert;
    alert.setMessageText("Error");
    alert.setInformativeText(text);
    alert.setAlertStyle(NSAlertStyleCritical);
    alert.runModal();
}

} // namespace

bool pluginStartsTransportAtLaunch(const std::string& pluginName)
{
    static const char* const kNames[] = {"Pyrole", "Marrowen", "Strandel", "Vossik", "Kettlon", "Sornel"};
    return std::any_of(std::begin(kNames), std::end(kNames), [&](const char* name) { return pluginName == name; });
}

PluginWindow::PluginWindow(NSRect contentRect) : NSWindow(contentRect) {}

PluginWindow::~PluginWindow()
{
    // A window that goes without the will-terminate notification (a failed
    // launch, a test) still leaves no stream running and no plug-in open.
    if (m_shutDownPending)
        appWillTerminate(nullptr);
    _timerIdle.reset();
    // The engine outlives this body by a moment; it must not see a store
    // that is gone.
    _interface.m_registry = nullptr;
    delete _registry;
    _registry = nullptr;
}

VstIntPtr PluginWindow::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) const
{
    AEffect* effect = plugin();
    if (effect == nullptr || effect->dispatcher == nullptr)
        return 0;
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

// ------------------------------------------------------------ start-up

void PluginWindow::awakeFromNib()
{
    _appStarted = false;
    _pluginName = NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleName");

    // --- the plug-in inside the application's own bundle
    if (!loadPlugin()) {
        showError("Couldn't load Plug In!");
        NSApp->performSelector(&NSApplication::terminate, nil, 0);
        return;
    }
    setTitle(_pluginName);

    // --- the editor: sized, centred and opened into the plug-in view
    m_editorParent = _pluginView != nullptr ? _pluginView->x11WindowID() : 0;
    const NSSize editor = editorSize();
    dispatch(effCanDo, 0, 0, const_cast<char*>("forceCocoaMode"));
    _hostLib.m_host.m_SizeChangedCallback = sizeChangedCallback;
    _hostLib.m_host.m_m_SizeChangedData = this;
    sizeTo(editor);
    centreOnScreen();
    if (plugin() != nullptr && m_editorParent != 0) {
        dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(m_editorParent));
        m_editorOpen = true;
    }

    // --- settings, then the engine linked to everything it drives
    createRegistry();
    _registry->readStoredSettings(_audioLib.devices());
    _registry->mergeMidiDevices(_midiLib.m_coremidi.m_devices);
    wireEngine();
    if (_registry->openPlayerOnStartup)
        _interface.m_playerDialogOpen.exchange(true);
    _interface.readChunk();
    if (!_interface.startMidi() && _registry->midiType != 0)
        showError("Couldn't start Midi-Engine!");

    _timerIdle = NSTimer::scheduledTimerWithTimeInterval(kIdleInterval, this, &PluginWindow::idleTimer, true);
    NSNotificationCenter* centre = NSNotificationCenter::defaultCenter();
    centre->addObserver(this, &PluginWindow::appWillBecomeActive, NSApplicationWillBecomeActiveNotification, nil);
    centre->addObserver(this, &PluginWindow::appWillTerminate, NSApplicationWillTerminateNotification, nil);
    startTransportOnLaunch();
    m_shutDownPending = true;
}

bool PluginWindow::loadPlugin()
{
    if (!_pluginName)
        return false;
    NSString path = NSString::stringWithFormat("%@/%@.vst", NSBundle::mainBundle()->builtInPlugInsPath(), _pluginName);
    if (!path)
        return false;
    return _hostLib.loadPlugin(path.UTF8String(), nullptr, nullptr, 0, false) && plugin() != nullptr;
}

// The editor's rectangle (right and bottom). Without a display the editor
// is never asked (plug-ins may crash in effEditGetRect then); then, and
// when the plug-in answers no usable rectangle, the fixed size serves.
NSSize PluginWindow::editorSize() const
{
    NSSize size = NSMakeSize(kEditorWidthWithoutDisplay, kEditorHeightWithoutDisplay);
    if (plugin() != nullptr && m_editorParent != 0) {
        ERect* rect = nullptr;
        dispatch(effEditGetRect, 0, 0, &rect);
        if (rect != nullptr && rect->right > 0 && rect->bottom > 0)
            size = NSMakeSize(rect->right, rect->bottom);
    }
    return size;
}

void PluginWindow::sizeTo(NSSize editor)
{
    setFrame(NSMakeRect(0, 0, editor.width, editor.height + kWindowChromeHeight), true, false);
}

void PluginWindow::centreOnScreen()
{
    NSScreen* onScreen = screen();
    const NSRect screenFrame = onScreen != nullptr ? onScreen->frame() : NSRect{};
    NSRect windowFrame = frame();
    windowFrame.origin.x = (screenFrame.size.width - windowFrame.size.width) * 0.5;
    windowFrame.origin.y = (screenFrame.size.height - windowFrame.size.height) * 0.5;
    setFrame(windowFrame, true);
}

void PluginWindow::createRegistry()
{
    const bool isSynth = plugin() != nullptr && (plugin()->flags & effFlagsIsSynth) != 0;
    _registry = new VTVSTHostRegistry(_pluginName.utf8(), isSynth);
}

void PluginWindow::wireEngine()
{
    _interface.m_vstLib = &_hostLib;
    _interface.m_audioLib = &_audioLib;
    _interface.m_midiLib = &_midiLib;
    _interface.m_registry = _registry;
    _interface.m_tempo = _registry->tempo.load();
    const int tempoTab = _registry->tempoTab.load();
    if (tempoTab != 0) {
        // The learned tap source: status byte and first data byte.
        delete _interface.m_midiLearned;
        _interface.m_midiLearned = new VTMidiMsg{};
        _interface.m_midiLearned->status = static_cast<uint8_t>((tempoTab >> 8) & 0xFF);
        _interface.m_midiLearned->data1 = static_cast<uint8_t>(tempoTab & 0xFF);
    }
}

void PluginWindow::startTransportOnLaunch()
{
    // An input that follows an external clock decides when to play.
    for (const VTMidiDevice* record : _registry->midiDevices)
        if (record != nullptr && record->active && record->sync)
            return;
    if (!pluginStartsTransportAtLaunch(_pluginName.utf8()))
        return;
    if (!_hostLib.m_host.getPlayStatus())
        _interface.m_playStatusChanged.exchange(true);
    _interface.m_playStatus = true;
}

// ------------------------------------------------------------ activation

void PluginWindow::appWillBecomeActive(NSNotification*)
{
    if (_appStarted)
        return;
    _appStarted = true;
    handOverToAuxiliaryWindows();

    // An instrument needs no microphone.
    if (plugin() != nullptr && (plugin()->flags & effFlagsIsSynth) != 0) {
        if (runAudioStartSequence())
            openPlayerOnStartup();
        else
            reportAudioFailure();
        return;
    }
    // The answer arrives on another thread; everything it leads to (the
    // audio layer, the windows) belongs to the main thread.
    std::weak_ptr<int> alive = m_alive;
    AVCaptureDevice::requestAccessForMediaType(AVMediaTypeAudio, [this, alive](bool granted) {
        dispatch_async(dispatch_get_main_queue(), [this, alive, granted] {
            if (alive.expired())
                return;
            if (granted && runAudioStartSequence())
                openPlayerOnStartup();
            else
                reportAudioFailure();
        });
    });
}

void PluginWindow::handOverToAuxiliaryWindows()
{
    // Each auxiliary window the interface created receives the shared objects
    // in this order: the preferences window (engine, hosting library, audio
    // and MIDI layers, store), the tempo window (this window, then the same
    // five) and the player and recorder window (the tempo window, engine,
    // hosting library, store). A missing window receives nothing.
    if (_preferencesWindow != nullptr) {
        _preferencesWindow->setHostInterface(&_interface);
        _preferencesWindow->setHostLib(&_hostLib);
        _preferencesWindow->setAudioLib(&_audioLib);
        _preferencesWindow->setMidiLib(&_midiLib);
        _preferencesWindow->setRegistry(_registry);
    }
    if (_tempoWindow != nullptr) {
        _tempoWindow->setPluginWindow(this);
        _tempoWindow->setHostInterface(&_interface);
        _tempoWindow->setHostLib(&_hostLib);
        _tempoWindow->setAudioLib(&_audioLib);
        _tempoWindow->setMidiLib(&_midiLib);
        _tempoWindow->setRegistry(_registry);
    }
    if (_playerRecorderWindow != nullptr) {
        _playerRecorderWindow->setTempoWindow(_tempoWindow);
        _playerRecorderWindow->setHostInterface(&_interface);
        _playerRecorderWindow->setHostLib(&_hostLib);
        _playerRecorderWindow->setRegistry(_registry);
    }
}

bool PluginWindow::runAudioStartSequence()
{
    _audioStarted = true;
    if (_interface.startAudio())
        return true;
    _audioStarted = false;

    // --- the stored devices failed: the system's defaults, when none was stored
    if (_registry->outputDevice != nullptr)
        return false;
    if (!chooseAutomaticDevices(*_registry, _audioLib.devices()))
        return false;
    _audioStarted = true;
    if (!_interface.startAudio()) {
        _audioStarted = false;
        return false;
    }
    _registry->write();
    return true;
}

void PluginWindow::reportAudioFailure()
{
    showError("Couldn't start Audioengine!");
    // The preferences window opens centred, so that the user can pick
    // devices.
    if (_preferencesWindow == nullptr)
        return;
    _preferencesWindow->initialze();
    _preferencesWindow->makeKeyAndOrderFront(this);
    _preferencesWindow->center();
}

void PluginWindow::openPlayerOnStartup()
{
    if (_registry == nullptr || !_registry->openPlayerOnStartup || _playerRecorderWindow == nullptr)
        return;
    // At the screen's origin first, then where the user left it; this
    // window stays in front.
    PlayerRecorder* player = _playerRecorderWindow;
    player->initialize();
    player->setFrame(NSMakeRect(0, 0, player->frame().size.width, player->frame().size.height), true);
    player->makeKeyAndOrderFront(this);
    player->setPosition();
    orderFront(player);
}

// ------------------------------------------------------------ idle, resize

void PluginWindow::idleTimer(NSTimer*)
{
    if (m_editorOpen)
        dispatch(effEditIdle);
    NSString title = NSString::stringWithFormat("%@ | Tempo: %.2f", _pluginName, _interface.m_tempo.load());
    if (title)
        setTitle(title);
}

void sizeChangedCallback(void* window)
{
    auto* self = static_cast<PluginWindow*>(window);
    if (self == nullptr)
        return;
    self->sizeTo(self->editorSize());
    self->centreOnScreen();
}

// ------------------------------------------------------------ shut-down

void PluginWindow::appWillTerminate(NSNotification*)
{
    if (_interface.isLinked()) {
        _midiLib.m_coremidi.stop();
        _interface.m_midiSync = false;
    }
    _interface.stopAudio();
    saveState();
    closePlugin();
    if (_timerIdle) {
        _timerIdle->invalidate();
        _timerIdle.reset();
    }
    _pluginName = NSString();
    m_shutDownPending = false;
}

void PluginWindow::saveState()
{
    // No chunk, or no file to put it in, keeps the saved state as it is.
    if (_interface.m_registry != nullptr)
        _interface.writeChunk();
}

void PluginWindow::closePlugin()
{
    _hostLib.m_host.m_SizeChangedCallback = nullptr;
    _hostLib.m_host.m_m_SizeChangedData = nullptr;
    if (plugin() == nullptr)
        return;
    if (m_editorOpen)
        dispatch(effEditClose);
    m_editorOpen = false;
    dispatch(effClose);
    _hostLib.m_plugin = nullptr;
}
