// mach_absolute_time on CLOCK_MONOTONIC.
#include "PlatformState.h"

#include <mach/mach_time.h>
#include <time.h>

namespace vt::platform::detail {

HostClock& hostClock()
{
    static HostClock clock;
    return clock;
}

} // namespace vt::platform::detail

extern "C" {

// Per-cycle code is marked hot, so that it is kept together with the rest.
[[gnu::hot]] uint64_t mach_absolute_time(void)
{
    auto& clock = vt::platform::detail::hostClock();
    if (clock.manual.load(std::memory_order_acquire))
        return clock.nanoseconds.load(std::memory_order_acquire);
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000ull + static_cast<uint64_t>(now.tv_nsec);
}

kern_return_t mach_timebase_info(mach_timebase_info_t info)
{
    if (info == nullptr)
        return 4; // KERN_INVALID_ARGUMENT
    info->numer = 1;
    info->denom = 1;
    return KERN_SUCCESS;
}

} // extern "C"
