// State of the stand-ins that the test-only library may inspect or steer.
#pragma once

#include <vtplatform/Notices.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace vt::platform::detail {

// The host clock follows a value that tests set while manual is true.
struct HostClock {
    std::atomic<bool> manual{false};
    std::atomic<uint64_t> nanoseconds{0};
};
HostClock& hostClock();

// Every notice shown since the last take.
std::vector<Notice> takeNotices();

} // namespace vt::platform::detail
