// The main menu's object: opens and closes the auxiliary windows and
// forwards the plug-in's own commands (about, help, update check) to the
// main window. Messages to a window that is missing do nothing.
//
// Thread contract: main thread only.
#pragma once

#include <AppKit/AppKit.h>

class PluginWindow;
class Preferences;
class Tempo;
class PlayerRecorder;

class Menu : public NSMenu {
public:
    explicit Menu(const NSString& title) : NSMenu(title) {}

    void openPreferences(id sender);
    void openTempo(id sender);
    void openPlayerRecorder(id sender);
    void openAbout(id sender);
    void openHelp(id sender);
    void checkForUpdates(id sender);

    // Outlets, connected by the main interface; null while absent.
    PluginWindow* _pluginWindow = nullptr;
    Preferences* _preferencesWindow = nullptr;
    Tempo* _tempoWindow = nullptr;
    PlayerRecorder* _playerRecorder = nullptr;
};

// Where the tempo window goes when it opens: docked below the main window
// with the main window's width, or, when the screen has no room for it
// below (tempo height + main height + menu bar height above the screen
// height), as a window of its own at level 20 at (x, H - m) with its own
// size.
struct TempoWindowPlacement {
    bool docked = false;
    NSRect frame;
    NSWindowLevel level = NSNormalWindowLevel;
};
TempoWindowPlacement tempoWindowPlacement(CGFloat screenHeight, NSRect mainFrame, NSSize tempoSize,
                                          CGFloat menuBarHeight);
