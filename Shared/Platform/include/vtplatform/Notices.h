// Linux-only hook of the user-notification stand-in, for the window layer.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>

namespace vt::platform {

// One notice (CFUserNotificationDisplayNotice: one button, returns at once)
// or alert (CFUserNotificationDisplayAlert: up to three buttons, waits for
// the answer).
struct Notice {
    CFOptionFlags level = 0;
    std::string header;
    std::string message;
    std::string button;          // the default button's title
    std::string alternateButton; // alerts only; empty when absent
    std::string otherButton;     // alerts only; empty when absent
    bool waitsForAnswer = false; // true for an alert
};

// Main thread: shows the notice or alert; for an alert it answers with one of
// kCFUserNotificationDefaultResponse ... kCFUserNotificationCancelResponse
// once the user has chosen (a notice's answer is not used).
using NoticePresenter = CFOptionFlags (*)(const Notice& notice, void* userData);

// Main thread: the window layer shows notices and alerts through this
// presenter; calls made on other threads are handed to the main thread.
// Without a presenter notices are only kept for inspection and alerts answer
// "cancel" at once.
void setNoticePresenter(NoticePresenter presenter, void* userData);

} // namespace vt::platform
