#include "UninstallItems.h"

namespace {

using C = VTUninstallCondition;
using A = VTUninstallAction;
using B = VTPathBase;
using M = VTUninstallMark;

// A system-wide template is the macOS path with the install root in front;
// a per-user one begins with the home folder. The second %s is "Kindra".
#define UNDER_INSTALL_ROOT(macPath) "%s" macPath

const VTUninstallItem kItems[] = {
    {C::pluginAU, A::remove, B::installRoot, UNDER_INSTALL_ROOT("/Library/Audio/Plug-Ins/Components/%s.component"),
     M::pluginAUIcon},
    {C::pluginAU, A::remove, B::installRoot,
     UNDER_INSTALL_ROOT("/Library/Audio/Plug-Ins/Components/%s MidiFX.component"), M::pluginAUIcon},
    {C::pluginVST, A::remove, B::installRoot, UNDER_INSTALL_ROOT("/Library/Audio/Plug-Ins/VST/%s.vst"),
     M::pluginVSTIcon},
    {C::pluginVST3, A::remove, B::installRoot, UNDER_INSTALL_ROOT("/Library/Audio/Plug-Ins/VST3/%s.vst3"),
     M::pluginVST3Icon},
    {C::pluginAAX, A::remove, B::installRoot,
     UNDER_INSTALL_ROOT("/Library/Application Support/Avid/Audio/Plug-Ins/%s.aaxplugin"), M::pluginAAXIcon},
    {C::standalone, A::remove, B::installRoot, UNDER_INSTALL_ROOT("/Applications/Veltrane/%s"), M::standaloneIcon},
    // The desktop entry the install step writes for the standalone application.
    {C::standalone, A::remove, B::home, "%s/.local/share/applications/kindra.desktop", M::none},
    {C::allFive, A::removeInstrumentsFolder, B::none, nullptr, M::none},
    {C::allFive, A::remove, B::home, "%s/Library/Preferences/com.veltrane.%s.plist", M::none},
    {C::allFive, A::reloadPreferences, B::none, nullptr, M::none},
    {C::presets, A::remove, B::home, "%s/Documents/Veltrane/%s", M::presetsIcon},
    {C::always, A::remove, B::installRoot,
     UNDER_INSTALL_ROOT("/Library/Application Support/Native Instruments/Service Center/%s.xml"), M::none},
    {C::always, A::remove, B::installRoot, UNDER_INSTALL_ROOT("/Library/Application Support/Veltrane/%s"), M::none},
    {C::always, A::wait, B::none, nullptr, M::none},
    {C::always, A::removeIfEmpty, B::installRoot, UNDER_INSTALL_ROOT("/Applications/Veltrane"), M::none},
    {C::always, A::removeIfEmpty, B::home, "%s/Documents/Veltrane", M::none},
};

#undef UNDER_INSTALL_ROOT

} // namespace

std::span<const VTUninstallItem> uninstallItems()
{
    return kItems;
}
