// Notices: handed to the UI layer's presenter and kept for inspection.
#include "CFStringImpl.h"
#include "PlatformState.h"

#include <mutex>

namespace {

struct NoticeState {
    std::mutex mutex;
    vt::platform::NoticePresenter presenter = nullptr;
    void* presenterData = nullptr;
    std::vector<vt::platform::Notice> shown;
};

NoticeState& state()
{
    static NoticeState noticeState;
    return noticeState;
}

std::string text(CFStringRef string)
{
    return vt::cf::utf8(string).value_or(std::string());
}

} // namespace

namespace vt::platform {

void setNoticePresenter(NoticePresenter presenter, void* userData)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().presenter = presenter;
    state().presenterData = userData;
}

namespace detail {

std::vector<Notice> takeNotices()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    std::vector<Notice> taken;
    taken.swap(state().shown);
    return taken;
}

} // namespace detail
} // namespace vt::platform

extern "C" SInt32 CFUserNotificationDisplayNotice(CFTimeInterval, CFOptionFlags flags, CFURLRef, CFURLRef, CFURLRef,
                                                  CFStringRef alertHeader, CFStringRef alertMessage,
                                                  CFStringRef defaultButtonTitle)
{
    vt::platform::Notice notice{flags & 3, text(alertHeader), text(alertMessage), text(defaultButtonTitle)};
    vt::platform::NoticePresenter presenter;
    void* presenterData;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        // Keep a bounded history; nobody reads an endless one.
        if (state().shown.size() < 256)
            state().shown.push_back(notice);
        presenter = state().presenter;
        presenterData = state().presenterData;
    }
    if (presenter != nullptr)
        presenter(notice, presenterData);
    return 0;
}
