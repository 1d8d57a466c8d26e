// The uninstaller's interface: the window with its view controller and
// the application delegate, built, connected and loaded in one place, top
// to bottom, as the application's interface description would.
//
// Thread contract: main thread only.
#pragma once

#include "AppDelegate.h"
#include "ViewController.h"

#include <memory>

class UninstallInterface {
public:
    // Builds the window, connects every outlet and action, calls
    // viewDidLoad, makes the delegate the application's and shows the
    // window.
    UninstallInterface();
    // Disconnects from the application; the window goes with it.
    ~UninstallInterface();
    UninstallInterface(const UninstallInterface&) = delete;
    UninstallInterface& operator=(const UninstallInterface&) = delete;

    NSWindow& window() { return *m_window; }
    ViewController& viewController() { return m_viewController; }
    AppDelegate& delegate() { return m_delegate; }

    // The two buttons, for whoever needs to press one.
    NSButton* uninstallButton = nullptr;
    NSButton* quitButton = nullptr;

private:
    std::unique_ptr<NSWindow> m_window;
    ViewController m_viewController;
    AppDelegate m_delegate;
};

// The process's interface, for NSApplicationMain.
void loadUninstallInterface();
// Destroys it once the application's loop has ended.
void unloadUninstallInterface();
