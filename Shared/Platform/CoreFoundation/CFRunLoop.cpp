// The run loop stand-in. Only the main thread has a live run loop: it runs
// due timers and posted work. Once the window layer installs its event loop,
// that loop is the main run loop: timers and posted work run inside it and a
// run of the loop is a slice of it. On any other thread running the loop
// sleeps for the time asked.
#include "CFObject.h"

#include <vtplatform/RunLoop.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

struct __CFRunLoop : vt::cf::Object {
    __CFRunLoop() : Object(vt::cf::kRunLoopType) {}
    bool immortal() const override { return true; }
};

struct __CFRunLoopTimer : vt::cf::Object {
    __CFRunLoopTimer() : Object(vt::cf::kTimerType) {}
    ~__CFRunLoopTimer() override
    {
        if (context.release != nullptr)
            context.release(context.info);
    }
    CFAbsoluteTime fireDate = 0;
    CFTimeInterval interval = 0;
    CFRunLoopTimerCallBack callout = nullptr;
    CFRunLoopTimerContext context{};
    std::atomic<bool> valid{true};
    bool firing = false; // a nested run of the loop must not fire it again
};

namespace {

constexpr double kUnixToAbsoluteEpoch = 978307200.0; // 1970-01-01 to 2001-01-01

struct MainLoop {
    std::mutex mutex;
    std::condition_variable wake;
    std::vector<__CFRunLoopTimer*> timers; // retained
    std::deque<std::function<void()>> work;
    vt::platform::RunLoopEventSource* events = nullptr;
    bool woken = false;
};

MainLoop& mainLoop()
{
    static MainLoop loop;
    return loop;
}

// Called with the loop's mutex held: tells the waiting loop, and the window
// system's loop when one is installed, that there is something to run.
void wakeLocked()
{
    mainLoop().woken = true;
    if (mainLoop().events != nullptr)
        mainLoop().events->wake();
}

__CFRunLoop mainRunLoopObject;

__CFRunLoopTimer* timer(CFRunLoopTimerRef ref)
{
    return const_cast<__CFRunLoopTimer*>(vt::cf::as<__CFRunLoopTimer>(ref, vt::cf::kTimerType));
}

void removeTimer(__CFRunLoopTimer* t)
{
    bool removed = false;
    {
        std::lock_guard<std::mutex> lock(mainLoop().mutex);
        auto& timers = mainLoop().timers;
        auto it = std::find(timers.begin(), timers.end(), t);
        if (it != timers.end()) {
            timers.erase(it);
            removed = true;
        }
    }
    if (removed)
        CFRelease(t);
}

// Fires the timers that are due; callouts run without the lock, so they may
// run the loop themselves.
bool fireDueTimers()
{
    std::vector<__CFRunLoopTimer*> due;
    CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
    {
        std::lock_guard<std::mutex> lock(mainLoop().mutex);
        for (__CFRunLoopTimer* t : mainLoop().timers) {
            if (t->valid && !t->firing && t->fireDate <= now) {
                CFRetain(t);
                due.push_back(t);
            }
        }
    }
    for (__CFRunLoopTimer* t : due) {
        if (t->interval > 0) {
            // A repeating timer skips the firings it missed.
            while (t->fireDate <= now)
                t->fireDate += t->interval;
        }
        if (t->valid && t->callout != nullptr) {
            t->firing = true;
            t->callout(t, t->context.info);
            t->firing = false;
        }
        if (t->interval <= 0)
            CFRunLoopTimerInvalidate(t);
        CFRelease(t);
    }
    return !due.empty();
}

bool runPostedWork()
{
    std::deque<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lock(mainLoop().mutex);
        work.swap(mainLoop().work);
    }
    for (auto& item : work)
        item();
    return !work.empty();
}

// Seconds until the earliest timer fires, or the given limit.
double secondsToNextTimer(double limit)
{
    CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
    std::lock_guard<std::mutex> lock(mainLoop().mutex);
    for (__CFRunLoopTimer* t : mainLoop().timers)
        if (t->valid && !t->firing)
            limit = std::min(limit, t->fireDate - now);
    return std::max(limit, 0.0);
}

void sleepFor(double seconds)
{
    if (seconds > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

} // namespace

namespace vt::platform {

bool isMainThread()
{
    return static_cast<pid_t>(syscall(SYS_gettid)) == getpid();
}

void performOnMainRunLoop(std::function<void()> work)
{
    {
        std::lock_guard<std::mutex> lock(mainLoop().mutex);
        mainLoop().work.push_back(std::move(work));
        wakeLocked();
    }
    mainLoop().wake.notify_all();
}

void setRunLoopEventSource(RunLoopEventSource* source)
{
    std::lock_guard<std::mutex> lock(mainLoop().mutex);
    mainLoop().events = source;
    // Whatever was queued before the loop joined runs in its first turn.
    if (source != nullptr && (!mainLoop().work.empty() || !mainLoop().timers.empty()))
        source->wake();
}

bool runMainRunLoopSources()
{
    bool handled = fireDueTimers();
    return runPostedWork() || handled;
}

double secondsUntilNextMainRunLoopTimer()
{
    constexpr double none = 1e300;
    double seconds = secondsToNextTimer(none);
    return seconds >= none ? -1.0 : seconds;
}

} // namespace vt::platform

extern "C" {

const CFRunLoopMode kCFRunLoopDefaultMode = CFSTR("kCFRunLoopDefaultMode");
const CFRunLoopMode kCFRunLoopCommonModes = CFSTR("kCFRunLoopCommonModes");

CFAbsoluteTime CFAbsoluteTimeGetCurrent(void)
{
    using namespace std::chrono;
    double unixSeconds = duration<double>(system_clock::now().time_since_epoch()).count();
    return unixSeconds - kUnixToAbsoluteEpoch;
}

CFRunLoopRef CFRunLoopGetMain(void)
{
    return &mainRunLoopObject;
}

CFRunLoopRef CFRunLoopGetCurrent(void)
{
    // Other threads get a loop of their own that only ever sleeps.
    static thread_local __CFRunLoop threadLoop;
    return vt::platform::isMainThread() ? &mainRunLoopObject : &threadLoop;
}

SInt32 CFRunLoopRunInMode(CFRunLoopMode, CFTimeInterval seconds, Boolean returnAfterSourceHandled)
{
    seconds = std::max(seconds, 0.0);
    if (!vt::platform::isMainThread()) {
        sleepFor(seconds);
        return kCFRunLoopRunTimedOut;
    }
    vt::platform::RunLoopEventSource* events;
    {
        std::lock_guard<std::mutex> lock(mainLoop().mutex);
        events = mainLoop().events;
    }
    if (events != nullptr)
        return events->runSlice(seconds, returnAfterSourceHandled) ? kCFRunLoopRunHandledSource : kCFRunLoopRunTimedOut;

    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (;;) {
        bool handled = vt::platform::runMainRunLoopSources();
        if (handled && returnAfterSourceHandled)
            return kCFRunLoopRunHandledSource;

        auto now = Clock::now();
        if (now >= deadline)
            return kCFRunLoopRunTimedOut;
        double wait = secondsToNextTimer(std::chrono::duration<double>(deadline - now).count());
        std::unique_lock<std::mutex> lock(mainLoop().mutex);
        mainLoop().wake.wait_for(lock, std::chrono::duration<double>(wait), [] { return mainLoop().woken; });
        mainLoop().woken = false;
    }
}

void CFRunLoopWakeUp(CFRunLoopRef)
{
    {
        std::lock_guard<std::mutex> lock(mainLoop().mutex);
        wakeLocked();
    }
    mainLoop().wake.notify_all();
}

CFRunLoopTimerRef CFRunLoopTimerCreate(CFAllocatorRef, CFAbsoluteTime fireDate, CFTimeInterval interval, CFOptionFlags,
                                       CFIndex, CFRunLoopTimerCallBack callout, CFRunLoopTimerContext* context)
{
    auto* t = new __CFRunLoopTimer;
    t->fireDate = fireDate;
    t->interval = interval;
    t->callout = callout;
    if (context != nullptr) {
        t->context = *context;
        if (context->retain != nullptr)
            t->context.info = const_cast<void*>(context->retain(context->info));
    }
    return t;
}

void CFRunLoopAddTimer(CFRunLoopRef rl, CFRunLoopTimerRef timerRef, CFRunLoopMode)
{
    __CFRunLoopTimer* t = timer(timerRef);
    // Only the main loop runs timers; the system schedules none elsewhere.
    if (t == nullptr || rl != &mainRunLoopObject || !t->valid)
        return;
    {
        std::lock_guard<std::mutex> lock(mainLoop().mutex);
        auto& timers = mainLoop().timers;
        if (std::find(timers.begin(), timers.end(), t) != timers.end())
            return;
        CFRetain(t);
        timers.push_back(t);
        wakeLocked();
    }
    mainLoop().wake.notify_all();
}

void CFRunLoopRemoveTimer(CFRunLoopRef, CFRunLoopTimerRef timerRef, CFRunLoopMode)
{
    if (__CFRunLoopTimer* t = timer(timerRef))
        removeTimer(t);
}

void CFRunLoopTimerInvalidate(CFRunLoopTimerRef timerRef)
{
    __CFRunLoopTimer* t = timer(timerRef);
    if (t == nullptr)
        return;
    t->valid = false;
    removeTimer(t);
}

Boolean CFRunLoopTimerIsValid(CFRunLoopTimerRef timerRef)
{
    __CFRunLoopTimer* t = timer(timerRef);
    return t != nullptr && t->valid;
}

} // extern "C"
