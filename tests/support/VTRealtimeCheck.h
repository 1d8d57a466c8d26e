// Test helper: catches allocation on a thread while it runs real-time code.
// Link vttestsupport into a test program; it replaces the global operator
// new, so every C++ allocation made inside a RealtimeScope is counted.
#pragma once

#include <cstddef>

namespace vt::testing {

// Marks the calling thread as real-time (an audio cycle) for its lifetime.
// Any thread, nestable.
class RealtimeScope {
public:
    RealtimeScope();
    ~RealtimeScope();
    RealtimeScope(const RealtimeScope&) = delete;
    RealtimeScope& operator=(const RealtimeScope&) = delete;
};

// Allocations made inside any RealtimeScope since the last reset, on any
// thread, and the size of the first one (0 when none).
std::size_t realtimeAllocationCount();
std::size_t firstRealtimeAllocationSize();
void resetRealtimeAllocations();

// Wraps a C callback so that every call of it runs inside a RealtimeScope:
// hand realtimeWrapped<F> to a layer in place of F.
template <auto Callback> struct RealtimeWrapped {
    template <typename... Args> static auto call(Args... args)
    {
        RealtimeScope scope;
        return Callback(args...);
    }
};

} // namespace vt::testing
