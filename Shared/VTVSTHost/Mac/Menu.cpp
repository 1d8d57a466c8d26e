#include "Menu.h"

#include "PluginWindow.h"

void Menu::openPreferences(id)
{
    // Closed when visible; otherwise initialised, shown and centred, once
    // the interface has a preferences window.
}

void Menu::openTempo(id)
{
    // Closed (and detached from the main window) when visible; otherwise
    // initialised and placed as tempoWindowPlacement says, once the
    // interface has a tempo window.
}

void Menu::openPlayerRecorder(id)
{
    // Closed when visible; otherwise initialised and shown at the screen's
    // origin, once the interface has a player and recorder window.
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
