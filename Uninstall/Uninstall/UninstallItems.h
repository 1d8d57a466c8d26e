// The product's installed items, in the order the uninstaller processes
// them, with the check boxes they depend on and the marks they show.
#pragma once

#include <span>

// Which check boxes must be ticked for an item to be processed.
enum class VTUninstallCondition { pluginAU, pluginVST, pluginVST3, pluginAAX, standalone, allFive, presets, always };

enum class VTUninstallAction {
    remove,                  // the formatted path
    removeInstrumentsFolder, // the folder that holds the stored "InstrumentsPath"
    reloadPreferences,       // make the preferences daemon drop its cached copy
    wait,                    // let the removals started so far finish
    removeIfEmpty            // the formatted path, only when it is an empty folder
};

// The folder a path's first %s stands for: the install root for the
// system-wide paths, the home folder for the per-user ones.
enum class VTPathBase { none, installRoot, home };

enum class VTUninstallMark {
    none,
    pluginAUIcon,
    pluginVSTIcon,
    pluginVST3Icon,
    pluginAAXIcon,
    standaloneIcon,
    presetsIcon
};

struct VTUninstallItem {
    VTUninstallCondition condition;
    VTUninstallAction action;
    VTPathBase base;
    const char* pathFormat; // the base folder, then the product name
    VTUninstallMark mark;
};

// Any thread: the whole list, in processing order.
std::span<const VTUninstallItem> uninstallItems();
