// Kindra's entry point: the open-file limit, then the application's main
// loop with the main interface. Objects live in C++ scopes, so no
// autorelease pool is needed around the loop.
#include "MainInterface.h"

#include <AppKit/AppKit.h>

#include <csignal>
#include <pthread.h>
#include <sys/resource.h>
#include <thread>

namespace {

// Ending the session, Ctrl+C in a terminal or `kill` quit as the menu's
// Quit does, so audio stops cleanly and the plug-in's state is saved. The
// signals are taken by a thread of their own (blocked everywhere else,
// including every thread started later) and handed to the main loop.
void quitOnTerminationSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0)
        return;
    std::thread([signals] {
        int received = 0;
        while (sigwait(&signals, &received) == 0)
            dispatch_async(dispatch_get_main_queue(), [] { NSApp->terminate(nil); });
    }).detach();
}

} // namespace

int main(int argc, char* argv[])
{
    // Room for many sample files and devices; the result is ignored.
    struct rlimit limit = {2048, 2048};
    setrlimit(RLIMIT_NOFILE, &limit);
    quitOnTerminationSignals();
    const int result = NSApplicationMain(argc, argv, &loadMainInterface);
    unloadMainInterface();
    return result;
}
