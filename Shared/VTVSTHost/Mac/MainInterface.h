// The application's main interface: the main window with its plug-in view,
// the main menu and the application delegate, built and connected in one
// place, top to bottom, as the interface description would, then loaded
// (awakeFromNib) and shown.
//
// Thread contract: main thread only.
#pragma once

#include "AppDelegate.h"
#include "Menu.h"
#include "PlayerRecorder.h"
#include "PluginWindow.h"
#include "Preferences.h"
#include "Tempo.h"

#include <memory>

class MainInterface {
public:
    // Builds the window, the menu and the delegate, connects every outlet
    // and action, sends awakeFromNib (the whole start-up up to the first
    // activation) and shows the window when the plug-in loaded.
    MainInterface();
    // Disconnects from the application; the windows go with it.
    ~MainInterface();
    MainInterface(const MainInterface&) = delete;
    MainInterface& operator=(const MainInterface&) = delete;

    PluginWindow& window() { return *m_window; }
    Menu& menu() { return *m_menu; }
    AppDelegate& delegate() { return m_delegate; }
    Preferences& preferences() { return *m_preferences; }
    Tempo& tempo() { return *m_tempo; }

    // The menu's items, for whoever needs to choose one.
    NSMenuItem* aboutItem = nullptr;
    NSMenuItem* preferencesItem = nullptr;
    NSMenuItem* quitItem = nullptr;
    NSMenuItem* bounceItem = nullptr;
    NSMenuItem* undoItem = nullptr;
    NSMenuItem* redoItem = nullptr;
    NSMenuItem* tempoItem = nullptr;
    NSMenuItem* playerRecorderItem = nullptr;
    NSMenuItem* helpItem = nullptr;
    NSMenuItem* updatesItem = nullptr;

private:
    // Destroyed in reverse: the menu (and every auxiliary window, which
    // holds pointers into the main window) before the main window.
    AppDelegate m_delegate;
    std::unique_ptr<PluginWindow> m_window;
    std::unique_ptr<Menu> m_menu;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<Tempo> m_tempo;
    std::unique_ptr<PlayerRecorder> m_playerRecorderWindow;
};

// The process's interface, for NSApplicationMain.
void loadMainInterface();
// Destroys it once the application's loop has ended.
void unloadMainInterface();
