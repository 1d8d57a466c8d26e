// The main window's keys and the plug-in's own commands.
#include "PluginWindow.h"

#include "VKeys.h"

namespace {

constexpr unsigned short kSpaceKeyCode = 49;

VTEffectCommands* commandsOf(AEffect* effect)
{
    return effect != nullptr ? vtEffectCommands(effect) : nullptr;
}

} // namespace

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
    VTEffectCommands* commands = commandsOf(plugin());
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
    if (VTEffectCommands* commands = commandsOf(plugin()); commands != nullptr && commands->undo != nullptr)
        commands->undo(plugin());
}

void PluginWindow::redo()
{
    if (VTEffectCommands* commands = commandsOf(plugin()); commands != nullptr && commands->redo != nullptr)
        commands->redo(plugin());
}

void PluginWindow::openAbout()
{
    if (VTEffectCommands* commands = commandsOf(plugin()); commands != nullptr && commands->openAbout != nullptr)
        commands->openAbout(plugin());
}

void PluginWindow::openHelp()
{
    if (VTEffectCommands* commands = commandsOf(plugin()); commands != nullptr && commands->openHelp != nullptr)
        commands->openHelp(plugin());
}

void PluginWindow::checkForUpdates()
{
    if (VTEffectCommands* commands = commandsOf(plugin()); commands != nullptr && commands->checkForUpdates != nullptr)
        commands->checkForUpdates(plugin());
}
