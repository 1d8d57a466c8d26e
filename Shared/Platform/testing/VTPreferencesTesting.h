// Test-only control of the preferences stand-in. System code never includes
// this header.
#pragma once

namespace vt::testing {

// The step at which preferences file writes fail while a
// PreferencesWriteFault exists.
enum class PreferencesWriteStep { createTemporary, writeContents, flushToDisk, replaceFile };

// Makes every preferences file write fail at one step for its lifetime, as a
// full disk or a crash between the steps would.
class PreferencesWriteFault {
public:
    explicit PreferencesWriteFault(PreferencesWriteStep step);
    ~PreferencesWriteFault();
    PreferencesWriteFault(const PreferencesWriteFault&) = delete;
    PreferencesWriteFault& operator=(const PreferencesWriteFault&) = delete;
};

// Forgets every preferences domain held in memory, so the next read comes
// from the files, as in a new run of the application.
void forgetPreferencesInMemory();

} // namespace vt::testing
