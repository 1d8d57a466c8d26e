// The one presenter through which every modal alert, panel and user
// notification of the window layer is shown: Qt dialogs by default, the
// scripted user in tests. No Qt here, so the test-only library can use it.
#pragma once

#include <AppKit/AppKit.h>
#include <vtplatform/Notices.h>

#include <atomic>
#include <vector>

namespace vt::appkit {

struct AlertRequest {
    NSString messageText;
    NSString informativeText;
    NSAlertStyle style = NSAlertStyleWarning;
};

enum class PanelKind { open, save };

struct PanelRequest {
    PanelKind kind = PanelKind::open;
    std::vector<NSString> allowedFileTypes;
    NSString nameFieldStringValue;
    NSURL directoryURL;
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool allowsMultipleSelection = false;
};

struct PanelAnswer {
    NSModalResponse response = NSModalResponseCancel;
    std::vector<NSURL> chosen; // as the user typed or picked them
};

class ModalPresenter {
public:
    virtual ~ModalPresenter() = default;
    // Main thread, each: waits for the user's answer.
    virtual NSModalResponse runAlert(const AlertRequest& request) = 0;
    virtual PanelAnswer runPanel(const PanelRequest& request) = 0;
    // A Core Foundation notice (answer unused) or alert (answer: a
    // kCFUserNotification...Response).
    virtual CFOptionFlags presentNotice(const vt::platform::Notice& notice) = 0;
};

// Main thread: installs a presenter (null: back to the Qt dialogs). Not
// owned.
void setModalPresenter(ModalPresenter* presenter);

// Any thread: whether the microphone request is granted, and how often it
// was asked (test control of AVCaptureDevice).
struct MicrophoneState {
    std::atomic<bool> granted{true};
    std::atomic<int> requests{0};
};
MicrophoneState& microphoneState();
// Any thread: whether NSClassFromString finds the media asset class.
std::atomic<bool>& mediaAssetClassPresent();

} // namespace vt::appkit
