// Test-only control of the Core Foundation stand-in. System code never
// includes this header.
#pragma once

#include <vtplatform/Notices.h>

#include <cstdint>
#include <vector>

namespace vt::testing {

// Every notice shown through CFUserNotificationDisplayNotice since the last
// call, oldest first.
std::vector<vt::platform::Notice> takeNotices();

// While one exists, mach_absolute_time answers the value this clock holds,
// so timing rules (taps, MIDI clock) are tested without sleeping.
class ManualHostClock {
public:
    explicit ManualHostClock(uint64_t startNanoseconds = 1'000'000'000);
    ~ManualHostClock();
    ManualHostClock(const ManualHostClock&) = delete;
    ManualHostClock& operator=(const ManualHostClock&) = delete;

    void set(uint64_t nanoseconds);
    void advance(uint64_t nanoseconds);
    uint64_t now() const;
};

} // namespace vt::testing
