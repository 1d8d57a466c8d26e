// Linux-only hooks of the run-loop stand-in, for the window layer.
#pragma once

#include <functional>

namespace vt::platform {

// True on the process's first thread, which plays the macOS main thread.
bool isMainThread();

// Any thread: queues work that the main run loop runs in its next slice.
void performOnMainRunLoop(std::function<void()> work);

// The window system's event loop, which becomes the main run loop once it is
// installed: Core Foundation timers and posted work then run inside it.
class RunLoopEventSource {
public:
    virtual ~RunLoopEventSource() = default;
    // Main thread: runs the window system's loop for a real slice of the
    // given length, firing timers and posted work but dispatching no user
    // input; with returnAfterSourceHandled it ends after the first timer or
    // posted work ran. True when one did.
    virtual bool runSlice(double seconds, bool returnAfterSourceHandled) = 0;
    // Any thread: a timer was added or work was posted; the window system's
    // loop has to call runMainRunLoopSources soon. Must not call back into
    // the run loop.
    virtual void wake() = 0;
};

// Main thread: installs (or, with null, removes) the window system's loop.
void setRunLoopEventSource(RunLoopEventSource* source);

// Main thread, for the installed event source: fires the due timers and runs
// the posted work once; true when anything ran.
bool runMainRunLoopSources();

// Main thread, for the installed event source: seconds until the earliest
// timer is due (0 when one is due now), or a negative value when there is
// no timer.
double secondsUntilNextMainRunLoopTimer();

} // namespace vt::platform
