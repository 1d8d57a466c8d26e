#include "VTPlatformTesting.h"

#include "../CoreFoundation/PlatformState.h"

namespace vt::testing {

std::vector<vt::platform::Notice> takeNotices()
{
    return vt::platform::detail::takeNotices();
}

ManualHostClock::ManualHostClock(uint64_t startNanoseconds)
{
    auto& clock = vt::platform::detail::hostClock();
    clock.nanoseconds.store(startNanoseconds);
    clock.manual.store(true);
}

ManualHostClock::~ManualHostClock()
{
    vt::platform::detail::hostClock().manual.store(false);
}

void ManualHostClock::set(uint64_t nanoseconds)
{
    vt::platform::detail::hostClock().nanoseconds.store(nanoseconds);
}

void ManualHostClock::advance(uint64_t nanoseconds)
{
    vt::platform::detail::hostClock().nanoseconds.fetch_add(nanoseconds);
}

uint64_t ManualHostClock::now() const
{
    return vt::platform::detail::hostClock().nanoseconds.load();
}

} // namespace vt::testing
