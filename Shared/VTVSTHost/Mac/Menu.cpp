#include "Menu.h"

#include "PlayerRecorder.h"
#include "PluginWindow.h"
#include "Preferences.h"
#include "Tempo.h"

void Menu::openPreferences(id)
{
    if (_preferencesWindow == nullptr)
        return;
    if (_preferencesWindow->isVisible()) {
        _preferencesWindow->close();
        return;
    }
    _preferencesWindow->initialze();
    _preferencesWindow->makeKeyAndOrderFront(this);
    _preferencesWindow->center();
}

void Menu::openTempo(id)
{
    if (_tempoWindow == nullptr)
        return;
    if (_tempoWindow->isVisible()) {
        if (NSWindow* parent = _tempoWindow->parentWindow())
            parent->removeChildWindow(_tempoWindow);
        _tempoWindow->close();
        return;
    }
    _tempoWindow->initialize();

    // --- below the main window when the screen has room for both, else a
    // window of its own above the others
    NSScreen* screen = NSScreen::mainScreen();
    const CGFloat screenHeight = screen != nullptr ? screen->frame().size.height : 0;
    NSWindow* main = NSApp->mainWindow();
    const NSRect mainFrame = main != nullptr ? main->frame() : NSRect{};
    NSMenu* bar = NSApp->mainMenu();
    const CGFloat menuBarHeight = bar != nullptr ? bar->menuBarHeight() : 0;
    const TempoWindowPlacement placement =
        tempoWindowPlacement(screenHeight, mainFrame, _tempoWindow->frame().size, menuBarHeight);
    if (main == nullptr) {
        // Nothing to dock to: its own size at the screen's origin.
        _tempoWindow->setFrameOrigin(NSMakePoint(0, 0));
    } else if (!placement.docked) {
        _tempoWindow->setFrame(placement.frame, true);
        _tempoWindow->setLevel(placement.level);
    } else {
        // Docked it has no title bar, the main window's width, and moves
        // with it.
        _tempoWindow->setStyleMask(NSWindowStyleMaskBorderless);
        const CGFloat height = _tempoWindow->frame().size.height;
        main->addChildWindow(_tempoWindow, NSWindowAbove);
        _tempoWindow->setFrame(
            NSMakeRect(mainFrame.origin.x, mainFrame.origin.y - height, mainFrame.size.width, height), true);
    }
    _tempoWindow->makeKeyAndOrderFront(this);
}

void Menu::openPlayerRecorder(id)
{
    PlayerRecorder* player = _playerRecorder;
    if (player == nullptr)
        return;
    if (player->isVisible()) {
        player->close();
        return;
    }
    player->initialize();
    player->setFrame(NSMakeRect(0, 0, player->frame().size.width, player->frame().size.height), true);
    player->makeKeyAndOrderFront(this);
    player->setPosition();
}

void Menu::openAbout(id)
{
    if (_pluginWindow != nullptr)
        _pluginWindow->openAbout();
}

void Menu::openHelp(id)
{
    if (_pluginWindow != nullptr)
        _pluginWindow->openHelp();
}

void Menu::checkForUpdates(id)
{
    if (_pluginWindow != nullptr)
        _pluginWindow->checkForUpdates();
}

TempoWindowPlacement tempoWindowPlacement(CGFloat screenHeight, NSRect mainFrame, NSSize tempoSize,
                                          CGFloat menuBarHeight)
{
    TempoWindowPlacement placement;
    if (tempoSize.height + mainFrame.size.height + menuBarHeight > screenHeight) {
        placement.frame =
            NSMakeRect(mainFrame.origin.x, mainFrame.size.height - menuBarHeight, tempoSize.width, tempoSize.height);
        placement.level = NSDockWindowLevel;
        return placement;
    }
    placement.docked = true;
    placement.frame =
        NSMakeRect(mainFrame.origin.x, mainFrame.origin.y - tempoSize.height, mainFrame.size.width, tempoSize.height);
    return placement;
}
