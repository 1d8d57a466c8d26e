// Alerts, panels, Core Foundation notifications and the microphone request,
// answered by the scripted user.
#include <AVFoundation/AVFoundation.h>
#include <AppKit/AppKit.h>
#include <CoreFoundation/CoreFoundation.h>
#include <vtplatform/RunLoop.h>

#include "VTScriptedUser.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using vt::testing::ShownModal;

TEST(Alert, IsAnsweredByTheScriptedUserWhoRecordsWhatItShowed)
{
    vt::testing::ScriptedUser user;
    user.pressAlertButton();
    NSAlert alert;
    alert.setMessageText("Error");
    alert.setInformativeText("Couldn't load Plug In!");
    alert.setAlertStyle(NSAlertStyleCritical);
    EXPECT_EQ(alert.runModal(), NSAlertFirstButtonReturn);

    ASSERT_EQ(user.shown().size(), 1u);
    const ShownModal& shown = user.shown()[0];
    EXPECT_EQ(shown.kind, ShownModal::Kind::alert);
    EXPECT_EQ(shown.messageText, "Error");
    EXPECT_EQ(shown.informativeText, "Couldn't load Plug In!");
    EXPECT_EQ(shown.style, NSAlertStyleCritical);
}

TEST(Alert, WithoutAQueuedAnswerFailsTheTestInsteadOfHanging)
{
    EXPECT_NONFATAL_FAILURE(
        {
            vt::testing::ScriptedUser user;
            NSAlert alert;
            alert.setMessageText("Error");
            alert.setInformativeText("Couldn't start Audioengine!");
            alert.runModal();
        },
        "no queued answer");
    // An answer of another kind is a failure too, and the panel is cancelled.
    EXPECT_NONFATAL_FAILURE(
        {
            vt::testing::ScriptedUser user;
            user.pressAlertButton();
            NSSavePanel panel;
            EXPECT_EQ(panel.runModal(), NSModalResponseCancel);
        },
        "expected another modal");
}

struct SavePanelCase {
    const char* chosen;
    const char* expected;
};

class SavePanel : public ::testing::TestWithParam<SavePanelCase> {};

// As on macOS a name without one of the allowed extensions gets the first.
INSTANTIATE_TEST_SUITE_P(Extensions, SavePanel,
                         ::testing::Values(SavePanelCase{"/music/take", "/music/take.aiff"},
                                           SavePanelCase{"/music/take.aiff", "/music/take.aiff"},
                                           SavePanelCase{"/music/take.AIF", "/music/take.AIF"},
                                           SavePanelCase{"/music/take.wav", "/music/take.wav.aiff"}));

TEST_P(SavePanel, ReturnsTheChosenPathWithAnAllowedExtension)
{
    vt::testing::ScriptedUser user;
    user.chooseInSavePanel(GetParam().chosen);
    NSSavePanel panel;
    panel.setAllowedFileTypes({"aiff", "aif"});
    panel.setNameFieldStringValue("Bounce 2024.01.02-03:04:05.wav");
    ASSERT_EQ(panel.runModal(), NSModalResponseOK);
    EXPECT_EQ(panel.URL().path().utf8(), GetParam().expected);
    ASSERT_EQ(user.shown().size(), 1u);
    EXPECT_EQ(user.shown()[0].kind, ShownModal::Kind::savePanel);
    EXPECT_EQ(user.shown()[0].nameFieldStringValue, "Bounce 2024.01.02-03:04:05.wav");
    EXPECT_EQ(user.shown()[0].allowedFileTypes, (std::vector<std::string>{"aiff", "aif"}));
}

TEST(OpenPanel, ReturnsOneChosenFileAndNothingAfterCancel)
{
    vt::testing::ScriptedUser user;
    user.chooseInOpenPanel({"/samples/loop.wav", "/samples/other.wav"});
    user.cancelPanel();
    NSOpenPanel panel;
    panel.setAllowedFileTypes({"aif", "aiff", "wav"});
    panel.setCanChooseDirectories(false);
    panel.setAllowsMultipleSelection(false);
    ASSERT_EQ(panel.runModal(), NSModalResponseOK);
    ASSERT_EQ(panel.URLs().size(), 1u);
    EXPECT_EQ(panel.URL().lastPathComponent(), NSString("loop.wav"));

    EXPECT_EQ(panel.runModal(), NSModalResponseCancel);
    EXPECT_FALSE(panel.URL());
    EXPECT_EQ(user.shown().size(), 2u);
}

TEST(UserNotification, AnAlertWaitsForTheAnswerAndANoticeIsOnlyRecorded)
{
    vt::testing::ScriptedUser user;
    user.answerNotification(kCFUserNotificationAlternateResponse);
    CFOptionFlags response = 99;
    EXPECT_EQ(CFUserNotificationDisplayAlert(0, kCFUserNotificationNoteAlertLevel, nullptr, nullptr, nullptr,
                                             CFSTR("Veltrane"), CFSTR("Would you like to save the recording?"),
                                             CFSTR("Yes"), CFSTR("No"), nullptr, &response),
              0);
    EXPECT_EQ(response, static_cast<CFOptionFlags>(kCFUserNotificationAlternateResponse));

    // A notice from another thread reaches the presenter on the main thread.
    std::thread engine([] {
        CFUserNotificationDisplayNotice(0, kCFUserNotificationCautionAlertLevel, nullptr, nullptr, nullptr,
                                        CFSTR("Warning"), CFSTR("No input device available."), CFSTR("OK"));
    });
    engine.join();
    EXPECT_TRUE(user.runUntil([&] { return user.shown().size() == 2; }));

    ASSERT_EQ(user.shown().size(), 2u);
    const ShownModal& alert = user.shown()[0];
    EXPECT_EQ(alert.kind, ShownModal::Kind::notification);
    EXPECT_EQ(alert.messageText, "Veltrane");
    EXPECT_EQ(alert.informativeText, "Would you like to save the recording?");
    EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(alert.level, static_cast<CFOptionFlags>(kCFUserNotificationNoteAlertLevel));
    EXPECT_EQ(user.shown()[1].kind, ShownModal::Kind::notice);
    EXPECT_EQ(user.shown()[1].messageText, "Warning");
}

TEST(Microphone, TheAnswerComesOnAnotherThreadGrantedUnlessTheTestDenies)
{
    vt::testing::ScriptedUser user;
    struct Answer {
        std::atomic<int> count{0};
        std::atomic<bool> granted{false};
        std::atomic<bool> onMainThread{true};
    };
    auto ask = [](Answer& answer) {
        AVCaptureDevice::requestAccessForMediaType(AVMediaTypeAudio, [&answer](bool granted) {
            answer.granted = granted;
            answer.onMainThread = vt::platform::isMainThread();
            ++answer.count;
        });
    };
    Answer first;
    ask(first);
    EXPECT_TRUE(user.runUntil([&] { return first.count == 1; }));
    EXPECT_TRUE(first.granted);
    EXPECT_FALSE(first.onMainThread);

    user.setMicrophoneAccess(false);
    Answer second;
    ask(second);
    EXPECT_TRUE(user.runUntil([&] { return second.count == 1; }));
    EXPECT_FALSE(second.granted);
    EXPECT_EQ(user.microphoneRequests(), 2);

    EXPECT_NE(NSClassFromString("AVURLAsset"), nullptr);
    user.setMediaAssetClassPresent(false);
    EXPECT_EQ(NSClassFromString("AVURLAsset"), nullptr);
}
