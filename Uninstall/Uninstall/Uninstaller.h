// The uninstaller's work without its window: the administrator rights, the
// removals and the item list that the uninstall button runs. The window
// reads its check boxes into a VTUninstallChoice and shows the marks that
// uninstallChosenItems returns.
#pragma once

#include "UninstallItems.h"

#include <Security/Security.h>

#include <cstddef>

inline constexpr const char* kProductName = "Kindra";
inline constexpr size_t kPathBufferSize = 256;

// The check boxes, true when ticked (state 1).
struct VTUninstallChoice {
    bool pluginAU = false;
    bool pluginVST = false;
    bool pluginVST3 = false;
    bool pluginAAX = false;
    bool standalone = false;
    bool presets = false;
};

// The removal marks to show; a mark never shown stays as it was.
struct VTUninstallMarks {
    bool pluginAUIcon = false;
    bool pluginVSTIcon = false;
    bool pluginVST3Icon = false;
    bool pluginAAXIcon = false;
    bool standaloneIcon = false;
    bool presetsIcon = false;

    void show(VTUninstallMark mark);
};

// Main thread: creates an authorization into the handle and asks for the
// administrator right (the system's password prompt); true when granted.
// The handle may hold an authorization even when this fails.
bool GetPrevilegeRights(AuthorizationRef& authorization);

// Main thread: starts "/bin/rm -rf <path>" with the rights and returns
// whether it started, without waiting for it to finish. A path with nothing
// at it counts as removed; a path the removal guard refuses is not removed.
bool deleteFiles(AuthorizationRef authorization, const char* path);

// Main thread: removes the folder when it holds nothing but hidden files.
void deleteDirectoryIfEmpty(AuthorizationRef authorization, const char* path);

// Main thread: has the preferences daemon drop its cached copy; runs
// without the rights, and failing is harmless.
void reloadPreferences(AuthorizationRef authorization);

// What runs at the item list's wait, with its user pointer.
using VTSettleFunction = void (*)(void* userData);

// Main thread: the one-second wait that lets the removals started before
// it finish before the two maker folders are tested for emptiness.
void waitOneSecond(void* userData);

// Main thread: the uninstall button's work. Asks for the rights, processes
// the item list in order and returns the marks to show; with the rights
// refused nothing is removed and no mark is shown.
VTUninstallMarks uninstallChosenItems(const VTUninstallChoice& choice, VTSettleFunction settle = waitOneSecond,
                                      void* settleData = nullptr);
