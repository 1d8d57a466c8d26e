// Linux-only hooks of the run-loop stand-in, for the UI layer.
#pragma once

#include <functional>

namespace vt::platform {

// True on the process's first thread, which plays the macOS main thread.
bool isMainThread();

// Any thread: queues work that the main run loop runs in its next slice.
void performOnMainRunLoop(std::function<void()> work);

// A window system whose events the main run loop dispatches while it runs.
class RunLoopEventSource {
public:
    virtual ~RunLoopEventSource() = default;
    // Main thread: handles the events that are pending without waiting;
    // true when at least one was handled.
    virtual bool dispatchPending() = 0;
};

// Main thread: installs (or, with null, removes) the window system's events.
void setRunLoopEventSource(RunLoopEventSource* source);

} // namespace vt::platform
