#include "VTRealtimeCheck.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if KINDRA_RTSAN
extern "C" {
void __rtsan_init();
void __rtsan_realtime_enter();
void __rtsan_realtime_exit();
}
// The sanitizer must be ready before any shared library's constructor
// allocates (FFmpeg pulls in libraries that do): initialise it from the
// executable's pre-init array, which runs before all of them.
__attribute__((section(".preinit_array"), used)) static void (*const rtsanPreinit)() = __rtsan_init;
#endif

namespace {

thread_local int realtimeDepth = 0;
std::atomic<std::size_t> allocations{0};
std::atomic<std::size_t> firstSize{0};

void noteAllocation(std::size_t size)
{
    if (realtimeDepth == 0)
        return;
    if (allocations.fetch_add(1) == 0)
        firstSize.store(size == 0 ? 1 : size);
}

void* allocate(std::size_t size)
{
    noteAllocation(size);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void* allocateAligned(std::size_t size, std::align_val_t alignment)
{
    noteAllocation(size);
    std::size_t align = static_cast<std::size_t>(alignment);
    std::size_t rounded = (size + align - 1) / align * align;
    if (void* p = std::aligned_alloc(align, rounded == 0 ? align : rounded))
        return p;
    throw std::bad_alloc();
}

} // namespace

namespace vt::testing {

RealtimeScope::RealtimeScope()
{
    ++realtimeDepth;
#if KINDRA_RTSAN
    __rtsan_realtime_enter();
#endif
}

RealtimeScope::~RealtimeScope()
{
#if KINDRA_RTSAN
    __rtsan_realtime_exit();
#endif
    --realtimeDepth;
}

std::size_t realtimeAllocationCount()
{
    return allocations.load();
}
std::size_t firstRealtimeAllocationSize()
{
    return firstSize.load();
}
void resetRealtimeAllocations()
{
    allocations.store(0);
    firstSize.store(0);
}

} // namespace vt::testing

void* operator new(std::size_t size)
{
    return allocate(size);
}
void* operator new[](std::size_t size)
{
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    noteAllocation(size);
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    noteAllocation(size);
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new(std::size_t size, std::align_val_t alignment)
{
    return allocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return allocateAligned(size, alignment);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    std::free(p);
}
