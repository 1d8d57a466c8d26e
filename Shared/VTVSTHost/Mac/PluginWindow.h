// The main window: it owns every long-lived object of the application (the
// hosting library, the audio and MIDI layers, the engine and the settings
// store), shows the plug-in's editor as its content, runs the start-up on
// awakeFromNib and the first activation, and the shut-down on the
// application's will-terminate notification. Key events go to the editor,
// the transport or the computer keyboard's notes, in that order.
//
// Thread contract: main thread only (the microphone answer arrives on
// another thread and is handed back to the main thread at once).
#pragma once

#include "VTAudioLib.h"
#include "VTMidiLib.h"
#include "VTVSTHostInterface.h"
#include "VTVSTHostLib.h"

#include <AppKit/AppKit.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class Preferences;
class Tempo;
class PlayerRecorder;
class VTVSTHostRegistry;

class PluginWindow : public NSWindow {
public:
    // Without a display the editor is never asked for: the window keeps
    // this editor area.
    static constexpr int kEditorWidthWithoutDisplay = 600;
    static constexpr int kEditorHeightWithoutDisplay = 400;
    // Added to the editor's height for the window's own parts (28 points
    // since macOS 10.11; the menu bar takes them on Linux).
    static constexpr int kWindowChromeHeight = 28;

    explicit PluginWindow(NSRect contentRect);
    ~PluginWindow() override;

    // --- start-up and shut-down
    void awakeFromNib() override;
    void appWillBecomeActive(NSNotification* notification);
    void openPlayerOnStartup();
    void appWillTerminate(NSNotification* notification);
    void idleTimer(NSTimer* timer);
    VTVSTHostLib* getHostLib() { return &_hostLib; }

    // --- keys and the plug-in's own commands
    void keyDown(NSEvent* event) override;
    void keyUp(NSEvent* event) override;
    void undo();
    void redo();
    void openAbout();
    void openHelp();
    void checkForUpdates();
    // The offline render to a WAV file, saved where the user chooses.
    // canBounce tells the interface whether this build offers it (the menu
    // item is disabled otherwise).
    void bounce();
    static bool canBounce();

    // The window's view of the engine, for the interface and tests.
    VTVSTHostInterface& hostInterface() { return _interface; }
    VTAudioLib& audioLib() { return _audioLib; }
    VTMidiLib& midiLib() { return _midiLib; }
    VTVSTHostRegistry* registry() const { return _registry; }
    bool audioStarted() const { return _audioStarted; }
    // Whether the plug-in's editor was opened into _pluginView.
    bool editorOpen() const { return m_editorOpen; }

    // --- outlets, connected by the main interface; null while absent
    NSView* _pluginView = nullptr;
    Preferences* _preferencesWindow = nullptr;
    Tempo* _tempoWindow = nullptr;
    PlayerRecorder* _playerRecorderWindow = nullptr;

private:
    friend void sizeChangedCallback(void* window);

    bool loadPlugin();
    NSSize editorSize() const;
    void sizeTo(NSSize editor);
    void centreOnScreen();
    void createRegistry();
    void wireEngine();
    void startTransportOnLaunch();
    bool runAudioStartSequence();
    void reportAudioFailure();
    void handOverToAuxiliaryWindows();
    void saveState();
    void closePlugin();
    void passKeyOn(NSEvent* event);
    VTEffectCommands* pluginCommands();
    AEffect* plugin() const { return _hostLib.m_plugin; }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) const;

public:
    // --- the members in their construction order (the start-up order)
    NSString _pluginName;
    VTVSTHostLib _hostLib;
    VTAudioLib _audioLib;
    VTMidiLib _midiLib;
    VTVSTHostInterface _interface;
    VTVSTHostRegistry* _registry = nullptr;
    std::unique_ptr<NSTimer> _timerIdle;
    bool _audioStarted = false;
    bool _appStarted = false;
    // The bounce's end flag and the end's frame in the block, written only
    // by bounceDoneCallback and read and cleared by the capture.
    bool bounceDone = false;
    int32_t bounceFramesOffset = 0;

private:
    // The X11 window the editor opens into; 0 without a display.
    unsigned long m_editorParent = 0;
    bool m_editorOpen = false;
    // Whether the plug-in's record carries our six command entries; asked
    // once, on the first key or command.
    std::optional<bool> m_pluginCarriesCommands;
    // Set once the start-up ran through; cleared by the shut-down.
    bool m_shutDownPending = false;
    // Work handed back from another thread checks that the window still
    // lives before touching it.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

// The hosting library calls it when the plug-in asks for a new editor size;
// the argument is the window.
void sizeChangedCallback(void* window);

// The hosting library calls it when the plug-in reports the end of a
// bounce (request 52): it sets the window's bounceFramesOffset, then its
// bounceDone. Main thread, inside the bounce's own process calls.
void bounceDoneCallback(bool done, int frames, void* window);

// The plug-ins whose transport runs from launch unless a MIDI input
// follows an external clock.
bool pluginStartsTransportAtLaunch(const std::string& pluginName);
