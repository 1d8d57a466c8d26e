#include "VTRealtimeCheck.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace {

int allocatingCallback(int n)
{
    std::vector<int> grows(static_cast<size_t>(n));
    return static_cast<int>(grows.size());
}

int quietCallback(int n)
{
    return n * 2;
}

} // namespace

// These cases allocate inside a real-time scope on purpose, which the
// RealtimeSanitizer build rightly stops.
#if KINDRA_RTSAN
#define SKIP_UNDER_RTSAN() GTEST_SKIP() << "allocates in a real-time scope on purpose"
#else
#define SKIP_UNDER_RTSAN() (void)0
#endif

TEST(RealtimeCheck, CountsAllocationsOnlyInsideARealtimeScope)
{
    SKIP_UNDER_RTSAN();
    vt::testing::resetRealtimeAllocations();
    auto outside = std::make_unique<int>(1);
    EXPECT_EQ(vt::testing::realtimeAllocationCount(), 0u);
    {
        vt::testing::RealtimeScope scope;
        int onStack[16] = {};
        (void)onStack;
    }
    EXPECT_EQ(vt::testing::realtimeAllocationCount(), 0u);
    {
        vt::testing::RealtimeScope scope;
        auto inside = std::make_unique<double[]>(100);
    }
    EXPECT_EQ(vt::testing::realtimeAllocationCount(), 1u);
    EXPECT_EQ(vt::testing::firstRealtimeAllocationSize(), 800u);
}

TEST(RealtimeCheck, SeesAllocationsOnOtherThreadsAndThroughWrappedCallbacks)
{
    SKIP_UNDER_RTSAN();
    vt::testing::resetRealtimeAllocations();
    EXPECT_EQ(vt::testing::RealtimeWrapped<quietCallback>::call(21), 42);
    EXPECT_EQ(vt::testing::realtimeAllocationCount(), 0u);

    std::thread audio([] { vt::testing::RealtimeWrapped<allocatingCallback>::call(8); });
    audio.join();
    EXPECT_EQ(vt::testing::realtimeAllocationCount(), 1u);
    EXPECT_EQ(vt::testing::firstRealtimeAllocationSize(), 8 * sizeof(int));
}
