// Preferences internals that the test-only library steers.
#pragma once

#include <atomic>

namespace vt::platform::detail {

// The step of a preferences file write that is made to fail, so tests can
// show that a failed write never damages the file already on disk.
enum class PreferencesWriteStep : int { none, createTemporary, writeContents, flushToDisk, replaceFile };
std::atomic<PreferencesWriteStep>& preferencesWriteFailure();

// Drops every domain held in memory, pending changes included, so the next
// call reads the files again as a new process would.
void forgetPreferences();

} // namespace vt::platform::detail
