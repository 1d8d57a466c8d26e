// Where the uninstaller's paths live on this computer, and what it may read
// there: the folders the item list is formatted under, the removal guard
// the application applies, and the stored "InstrumentsPath".
#pragma once

#include "VTRemovalGuard.h"

#include <optional>
#include <string>

struct VTUninstallFolders {
    std::string installRoot; // "" when the system-wide paths are the real ones
    std::string home;        // "" when no home folder is known
};

// Main thread: the install root under the file-system root, and the user's
// home folder.
VTUninstallFolders uninstallFolders();

// Main thread: the guard for this user and file-system root.
VTRemovalGuard applicationRemovalGuard();

// Main thread: the value stored under "InstrumentsPath" in the domain
// "com.veltrane.Kindra", when it is a string.
std::optional<std::string> storedInstrumentsPath();
