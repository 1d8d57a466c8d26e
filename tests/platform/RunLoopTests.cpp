// The run loop, host clock and notices.
#include <CoreFoundation/CoreFoundation.h>
#include <mach/mach_time.h>
#include <vtplatform/RunLoop.h>

#include "VTPlatformTesting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

struct Counter {
    int fired = 0;
    CFRunLoopTimerRef stopAfter = nullptr;
    int limit = 0;
};

void countFiring(CFRunLoopTimerRef timer, void* info)
{
    auto* counter = static_cast<Counter*>(info);
    ++counter->fired;
    if (counter->limit > 0 && counter->fired >= counter->limit)
        CFRunLoopTimerInvalidate(timer);
}

CFRunLoopTimerRef addTimer(Counter& counter, double delay, double interval)
{
    CFRunLoopTimerContext context{0, &counter, nullptr, nullptr, nullptr};
    CFRunLoopTimerRef timer =
        CFRunLoopTimerCreate(nullptr, CFAbsoluteTimeGetCurrent() + delay, interval, 0, 0, countFiring, &context);
    CFRunLoopAddTimer(CFRunLoopGetMain(), timer, kCFRunLoopDefaultMode);
    return timer;
}

double secondsOf(void (*body)())
{
    auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(RunLoop, TheTestThreadIsTheMainThread)
{
    EXPECT_TRUE(vt::platform::isMainThread());
}

TEST(RunLoop, RunsForAtLeastTheSliceAsked)
{
    double elapsed =
        secondsOf([] { EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.005, false), kCFRunLoopRunTimedOut); });
    EXPECT_GE(elapsed, 0.005);
}

TEST(RunLoop, OneShotTimerFiresOnceAndRepeatingTimerUntilInvalidated)
{
    Counter once;
    CFRunLoopTimerRef single = addTimer(once, 0.0, 0.0);
    Counter repeating;
    repeating.limit = 3;
    CFRunLoopTimerRef repeat = addTimer(repeating, 0.0, 0.001);

    // Run until the repeating timer has invalidated itself; no timing bound.
    while (CFRunLoopTimerIsValid(repeat))
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, false);
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.003, false);

    EXPECT_EQ(once.fired, 1);
    EXPECT_FALSE(CFRunLoopTimerIsValid(single));
    EXPECT_EQ(repeating.fired, 3);
    CFRelease(single);
    CFRelease(repeat);
}

TEST(RunLoop, AnInvalidatedTimerNeverFires)
{
    Counter counter;
    CFRunLoopTimerRef timer = addTimer(counter, 0.0, 0.0);
    CFRunLoopTimerInvalidate(timer);
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.002, false);
    EXPECT_EQ(counter.fired, 0);
    CFRelease(timer);
}

TEST(RunLoop, WorkPostedFromAnotherThreadRunsOnTheMainThread)
{
    std::atomic<bool> ranOnMain{false};
    std::thread poster([&] { vt::platform::performOnMainRunLoop([&] { ranOnMain = vt::platform::isMainThread(); }); });
    poster.join();
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 10.0, true), kCFRunLoopRunHandledSource);
    EXPECT_TRUE(ranOnMain);
}

TEST(RunLoop, ATimerCalloutMayRunTheLoopItself)
{
    static int nestedFired = 0;
    static CFRunLoopTimerRef inner = nullptr;
    nestedFired = 0;
    CFRunLoopTimerContext context{};
    CFRunLoopTimerRef outer = CFRunLoopTimerCreate(
        nullptr, CFAbsoluteTimeGetCurrent(), 0, 0, 0,
        [](CFRunLoopTimerRef, void*) {
            inner = CFRunLoopTimerCreate(
                nullptr, CFAbsoluteTimeGetCurrent(), 0, 0, 0, [](CFRunLoopTimerRef, void*) { ++nestedFired; }, nullptr);
            CFRunLoopAddTimer(CFRunLoopGetMain(), inner, kCFRunLoopDefaultMode);
            // The tempo hand-over waits like this from inside a timer.
            while (nestedFired == 0)
                CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.005, false);
        },
        &context);
    CFRunLoopAddTimer(CFRunLoopGetMain(), outer, kCFRunLoopDefaultMode);
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.001, true);
    EXPECT_EQ(nestedFired, 1);
    CFRelease(outer);
    CFRelease(inner);
}

TEST(RunLoop, OnAnotherThreadItSleepsForTheSlice)
{
    std::atomic<SInt32> result{0};
    std::atomic<double> elapsed{0};
    std::thread worker([&] {
        auto start = std::chrono::steady_clock::now();
        result = CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.005, false);
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
    worker.join();
    EXPECT_EQ(result, kCFRunLoopRunTimedOut);
    EXPECT_GE(elapsed, 0.005);
}

TEST(HostClock, CountsNanosecondsAndCanBeSteeredByTests)
{
    mach_timebase_info_data_t base;
    ASSERT_EQ(mach_timebase_info(&base), KERN_SUCCESS);
    EXPECT_EQ(base.numer, 1u);
    EXPECT_EQ(base.denom, 1u);
    uint64_t before = mach_absolute_time();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_GE(mach_absolute_time() - before, 2'000'000u);
    {
        vt::testing::ManualHostClock clock(5'000);
        EXPECT_EQ(mach_absolute_time(), 5'000u);
        clock.advance(500'000'000);
        EXPECT_EQ(mach_absolute_time(), 500'005'000u);
    }
    EXPECT_GE(mach_absolute_time(), before);
}

TEST(Notice, IsKeptWithItsLevelAndTexts)
{
    vt::testing::takeNotices();
    CFUserNotificationDisplayNotice(
        0, kCFUserNotificationCautionAlertLevel, nullptr, nullptr, nullptr, CFSTR("Warning"),
        CFSTR("No input device available.\r\nOnly the audio player will work."), CFSTR("OK"));
    auto notices = vt::testing::takeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].level, static_cast<CFOptionFlags>(kCFUserNotificationCautionAlertLevel));
    EXPECT_EQ(notices[0].header, "Warning");
    EXPECT_EQ(notices[0].message, "No input device available.\r\nOnly the audio player will work.");
    EXPECT_EQ(notices[0].button, "OK");
    EXPECT_TRUE(vt::testing::takeNotices().empty());
}
