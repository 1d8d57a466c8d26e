// Notices and alerts: handed to the window layer's presenter on the main
// thread; notices are also kept for inspection.
#include "CFStringImpl.h"
#include "PlatformState.h"

#include <vtplatform/RunLoop.h>

#include <future>
#include <memory>
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
    if (string == nullptr)
        return std::string();
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

namespace {

struct Presenter {
    vt::platform::NoticePresenter function = nullptr;
    void* userData = nullptr;
};

Presenter currentPresenter()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return {state().presenter, state().presenterData};
}

// Runs the presenter on the main thread. A notice returns at once from any
// thread; an alert waits for the answer as on macOS.
CFOptionFlags present(const vt::platform::Notice& notice)
{
    if (vt::platform::isMainThread()) {
        Presenter presenter = currentPresenter();
        if (presenter.function == nullptr)
            return static_cast<CFOptionFlags>(kCFUserNotificationCancelResponse);
        return presenter.function(notice, presenter.userData);
    }
    auto answer = std::make_shared<std::promise<CFOptionFlags>>();
    std::future<CFOptionFlags> answered = answer->get_future();
    vt::platform::performOnMainRunLoop([notice, answer] {
        Presenter presenter = currentPresenter();
        CFOptionFlags response = kCFUserNotificationCancelResponse;
        if (presenter.function != nullptr)
            response = presenter.function(notice, presenter.userData);
        answer->set_value(response);
    });
    if (!notice.waitsForAnswer)
        return kCFUserNotificationDefaultResponse;
    return answered.get();
}

} // namespace

extern "C" SInt32 CFUserNotificationDisplayNotice(CFTimeInterval, CFOptionFlags flags, CFURLRef, CFURLRef, CFURLRef,
                                                  CFStringRef alertHeader, CFStringRef alertMessage,
                                                  CFStringRef defaultButtonTitle)
{
    vt::platform::Notice notice;
    notice.level = flags & 3;
    notice.header = text(alertHeader);
    notice.message = text(alertMessage);
    notice.button = text(defaultButtonTitle);
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        // Keep a bounded history; nobody reads an endless one.
        if (state().shown.size() < 256)
            state().shown.push_back(notice);
    }
    present(notice);
    return 0;
}

extern "C" SInt32 CFUserNotificationDisplayAlert(CFTimeInterval, CFOptionFlags flags, CFURLRef, CFURLRef, CFURLRef,
                                                 CFStringRef alertHeader, CFStringRef alertMessage,
                                                 CFStringRef defaultButtonTitle, CFStringRef alternateButtonTitle,
                                                 CFStringRef otherButtonTitle, CFOptionFlags* responseFlags)
{
    vt::platform::Notice alert;
    alert.level = flags & 3;
    alert.header = text(alertHeader);
    alert.message = text(alertMessage);
    // The system's own "OK" stands in for a missing default button.
    alert.button = defaultButtonTitle == nullptr ? std::string("OK") : text(defaultButtonTitle);
    alert.alternateButton = text(alternateButtonTitle);
    alert.otherButton = text(otherButtonTitle);
    alert.waitsForAnswer = true;
    bool shown = currentPresenter().function != nullptr;
    CFOptionFlags response = present(alert);
    if (responseFlags != nullptr)
        *responseFlags = response;
    return shown ? 0 : -1;
}
