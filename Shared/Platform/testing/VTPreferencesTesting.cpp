#include "VTPreferencesTesting.h"

#include "../CoreFoundation/CFPreferencesImpl.h"

namespace vt::testing {

namespace {

vt::platform::detail::PreferencesWriteStep platformStep(PreferencesWriteStep step)
{
    using Platform = vt::platform::detail::PreferencesWriteStep;
    switch (step) {
    case PreferencesWriteStep::createTemporary:
        return Platform::createTemporary;
    case PreferencesWriteStep::writeContents:
        return Platform::writeContents;
    case PreferencesWriteStep::flushToDisk:
        return Platform::flushToDisk;
    case PreferencesWriteStep::replaceFile:
        return Platform::replaceFile;
    }
    return Platform::none;
}

} // namespace

PreferencesWriteFault::PreferencesWriteFault(PreferencesWriteStep step)
{
    vt::platform::detail::preferencesWriteFailure().store(platformStep(step));
}

PreferencesWriteFault::~PreferencesWriteFault()
{
    vt::platform::detail::preferencesWriteFailure().store(vt::platform::detail::PreferencesWriteStep::none);
}

void forgetPreferencesInMemory()
{
    vt::platform::detail::forgetPreferences();
}

} // namespace vt::testing
