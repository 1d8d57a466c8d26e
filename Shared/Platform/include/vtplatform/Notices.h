// Linux-only hook of the user-notification stand-in, for the UI layer.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>

namespace vt::platform {

struct Notice {
    CFOptionFlags level = 0;
    std::string header;
    std::string message;
    std::string button;
};

using NoticePresenter = void (*)(const Notice& notice, void* userData);

// Main thread: the UI layer shows notices through this presenter; without
// one, notices are only kept for inspection.
void setNoticePresenter(NoticePresenter presenter, void* userData);

} // namespace vt::platform
