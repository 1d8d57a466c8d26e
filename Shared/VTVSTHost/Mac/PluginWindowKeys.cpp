// The main window's keys and the plug-in's own commands.
#include "PluginWindow.h"

#include "VKeys.h"

#include <cstring>

namespace {

constexpr unsigned short kSpaceKeyCode = 49;

// Only our own plug-ins put the six command entries after the published
// record; in another maker's plug-in those words are not functions, so they
// are called only when the vendor is ours.
constexpr const char* kCommandsVendor = "Veltrane";

} // namespace

VTEffectCommands* PluginWindow::pluginCommands()
{
    AEffect* effect = plugin();
    if (effect == nullptr)
        return nullptr;
    if (!m_pluginCarriesCommands) {
        // 64 characters by the interface; room to spare for a careless one.
        char vendor[256] = {};
        dispatch(effGetVendorString, 0, 0, vendor);
        vendor[sizeof vendor - 1] = '\0';
        m_pluginCarriesCommands = std::strcmp(vendor, kCommandsVendor) == 0;
    }
    return *m_pluginCarriesCommands ? vtEffectCommands(effect) : nullptr;
}

void PluginWindow::passKeyOn(NSEvent* event)
{
    if (event->type() == NSEventTypeKeyDown)
        NSWindow::keyDown(event);
    else if (event->type() == NSEventTypeKeyUp)
        NSWindow::keyUp(event);
}

void PluginWindow::keyDown(NSEvent* event)
{
    if (event == nullptr)
        return;
    const NSEventType type = event->type();
    const bool down = type == NSEventTypeKeyDown;

    // --- the editor has the keyboard (a text field): the window's own handling
    VTEffectCommands* commands = pluginCommands();
    if (commands != nullptr && commands->wantsKeyboard != nullptr && commands->wantsKeyboard(plugin())) {
        passKeyOn(event);
        return;
    }
    const bool isKey = type == NSEventTypeKeyDown || type == NSEventTypeKeyUp;
    if (isKey && event->characters().length() > 0) {
        const unichar c = event->characters().characterAtIndex(0);
        const NSUInteger flags = event->modifierFlags();

        // --- the editor sees every key first
        if (plugin() != nullptr) {
            const VstIntPtr used = dispatch(down ? effEditKeyDown : effEditKeyUp, keyIndexForCharacter(c),
                                            vkeyForCharacter(c), nullptr, keyModifiersForFlags(flags));
            if (used == 1)
                return;
        }

        // --- the space bar runs the transport
        if (event->keyCode() == kSpaceKeyCode) {
            if (down) {
                const bool playing = !_interface.m_playStatus.load();
                if (_hostLib.m_host.getPlayStatus() != playing)
                    _interface.m_playStatusChanged.exchange(true);
                _interface.m_playStatus = playing;
            }
            return;
        }

        // --- letters play notes unless Command makes them a shortcut
        if (c >= 'a' && c <= 'z' && (flags & NSEventModifierFlagCommand) == 0) {
            if (_interface.keyHandler(static_cast<char>(c - 32), down))
                return;
        }
    }
    passKeyOn(event);
}

void PluginWindow::keyUp(NSEvent* event)
{
    keyDown(event);
}

void PluginWindow::undo()
{
    if (VTEffectCommands* commands = pluginCommands(); commands != nullptr && commands->undo != nullptr)
        commands->undo(plugin());
}

void PluginWindow::redo()
{
    if (VTEffectCommands* commands = pluginCommands(); commands != nullptr && commands->redo != nullptr)
        commands->redo(plugin());
}

void PluginWindow::openAbout()
{
    if (VTEffectCommands* commands = pluginCommands(); commands != nullptr && commands->openAbout != nullptr)
        commands->openAbout(plugin());
}

void PluginWindow::openHelp()
{
    if (VTEffectCommands* commands = pluginCommands(); commands != nullptr && commands->openHelp != nullptr)
        commands->openHelp(plugin());
}

void PluginWindow::checkForUpdates()
{
    if (VTEffectCommands* commands = pluginCommands(); commands != nullptr && commands->checkForUpdates != nullptr)
        commands->checkForUpdates(plugin());
}
