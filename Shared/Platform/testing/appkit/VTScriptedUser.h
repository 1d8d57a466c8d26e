// Test-only: the scripted user of the window layer. It answers modal alerts,
// open and save panels and Core Foundation alerts from a queue, records
// everything that was shown, and drives controls and keys as a person
// would. System code never includes this header; it exposes no Qt type.
//
// Linking this library points Qt's desktop folders (XDG_CONFIG_HOME,
// XDG_CACHE_HOME, XDG_DATA_HOME, XDG_RUNTIME_DIR) at scratch folders under
// HOME/desktop and picks the offscreen platform unless QT_QPA_PLATFORM is
// set, before the first window object starts Qt.
//
// Thread contract: main thread (the test thread) only.
#pragma once

#include <AppKit/AppKit.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vt::testing {

// What one modal or notice showed.
struct ShownModal {
    enum class Kind { alert, openPanel, savePanel, notification, notice };
    Kind kind = Kind::alert;
    // NSAlert: message and informative text; Core Foundation: header and
    // message.
    std::string messageText;
    std::string informativeText;
    NSAlertStyle style = NSAlertStyleWarning; // NSAlert
    CFOptionFlags level = 0;                  // Core Foundation
    std::vector<std::string> buttons;         // Core Foundation, default first
    std::vector<std::string> allowedFileTypes;
    std::string nameFieldStringValue;
    std::string directory;
};

// What a table cell shows.
struct TableCell {
    std::string text;
    std::string imageName; // NSImage name; empty without an image
};

class ScriptedUser {
public:
    // Installs itself as the presenter of every modal for its lifetime.
    ScriptedUser();
    // Fails the test when answers were queued that no modal used.
    ~ScriptedUser();
    ScriptedUser(const ScriptedUser&) = delete;
    ScriptedUser& operator=(const ScriptedUser&) = delete;

    // --- answers, used in order by the next modals. A modal whose answer is
    // missing or of another kind fails the test and is cancelled (an
    // alert is confirmed), so the code under test goes on instead of
    // hanging.
    void pressAlertButton();                                // NSAlert: OK
    void chooseInOpenPanel(std::vector<std::string> paths); // OK with these
    void chooseInSavePanel(const std::string& path);        // OK with this path
    void cancelPanel();                                     // open or save
    // CFUserNotificationDisplayAlert: kCFUserNotificationDefaultResponse ...
    void answerNotification(CFOptionFlags response);
    size_t unusedAnswers() const;

    // --- what was shown, oldest first (notices need no answer).
    const std::vector<ShownModal>& shown() const;
    void forgetShown();

    // --- controls. Each answers false, changing nothing, when the control
    // is disabled (or the index is out of range), as a click on it would.
    bool click(NSButton* button);
    bool choose(NSPopUpButton* popUp, NSInteger index);
    // Focuses the field, selects its text, types every character as a key
    // (the formatter decides each), then presses Return. Answers the text
    // the field holds afterwards.
    std::string type(NSTextField* field, const std::string& text);
    // Presses the up (steps > 0) or down arrow |steps| times.
    bool step(NSStepper* stepper, int steps);
    bool selectRow(NSTableView* table, NSInteger row);
    TableCell cell(NSTableView* table, NSInteger row, const std::string& columnIdentifier);
    std::vector<std::string> tabLabels(NSTabView* tabView);
    bool chooseMenuItem(NSMenuItem* item);

    // --- keys, named as Qt names them on a Linux keyboard ("A",
    // "Shift+A", "Ctrl+T", "Alt+Up", "Meta+A" for Super, "Space",
    // "Return", "Enter", "Esc", "Backspace", "Tab", "Del", "F1", "PgUp").
    // The window becomes key first. Answers true when the window handled the
    // key, false when it reached the inherited handling; a key taken by a
    // menu's key equivalent counts as handled.
    bool keyDown(NSWindow* window, const std::string& key);
    bool keyUp(NSWindow* window, const std::string& key);

    // --- input queued as the window system delivers it: it waits for the
    // next turn of the main loop that dispatches user input.
    void postClick(NSButton* button);

    // --- the run loop with user input (NSApplication's loop).
    // Runs until the condition holds; false when the timeout passed first.
    bool runUntil(const std::function<bool()>& condition, double timeoutSeconds = 10.0);
    void runFor(double seconds);

    // --- the platform's answers.
    // The microphone permission AVCaptureDevice answers (granted by default)
    // and how many requests were made since this user was created.
    void setMicrophoneAccess(bool granted);
    int microphoneRequests() const;
    // Whether NSClassFromString("AVURLAsset") finds the media asset class.
    void setMediaAssetClassPresent(bool present);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace vt::testing
