// AppKit stand-in: the application, windows, views, controls, panels and
// alerts the window classes use, with the AppKit class names and C++
// methods named after the selectors (`addItemWithTitle`,
// `selectItemAtIndex`, `makeKeyAndOrderFront`, ...). Each object owns a Qt 6
// widget behind a private implementation and keeps its state there; this
// header exposes no Qt type.
//
// Linux specifics, in one place:
// - Window frames use AppKit screen coordinates: origin at the bottom left of
//   the main screen, y growing upwards. A window's frame is its client area
//   (the window manager draws the title bar outside it).
// - Views are flipped: a view's frame is relative to the top left of its
//   superview, y growing downwards, so a window resource lays controls out
//   from top to bottom.
// - Key events: the Ctrl key is the Command modifier, Alt is Option and the
//   Super key is Control, so Ctrl+letter reaches the menu.
// - The main menu's bar is shown at the top of the main window (the one that
//   called makeMainWindow), above its content view.
// - Ownership follows Qt's: a superview owns its subviews, a window its
//   content view, a menu its items, a control its formatter; a window or an
//   unparented view belongs to whoever created it.
//
// Thread contract: every class here is main thread only.
#pragma once

#include <Foundation/Foundation.h>

#include <memory>
#include <vector>

namespace vt::appkit {
struct ApplicationImpl;
struct MenuImpl;
struct MenuItemImpl;
struct TimerImpl;
struct ViewImpl;
struct WindowImpl;
class ViewAccess;
} // namespace vt::appkit

// ------------------------------------------------------------- geometry
using CGFloat = double;
struct NSPoint {
    CGFloat x = 0;
    CGFloat y = 0;
};
struct NSSize {
    CGFloat width = 0;
    CGFloat height = 0;
};
struct NSRect {
    NSPoint origin;
    NSSize size;
};
inline NSPoint NSMakePoint(CGFloat x, CGFloat y)
{
    return {x, y};
}
inline NSSize NSMakeSize(CGFloat width, CGFloat height)
{
    return {width, height};
}
inline NSRect NSMakeRect(CGFloat x, CGFloat y, CGFloat width, CGFloat height)
{
    return {{x, y}, {width, height}};
}

using NSModalResponse = NSInteger;
enum : NSModalResponse {
    NSModalResponseCancel = 0,
    NSModalResponseOK = 1,
    NSAlertFirstButtonReturn = 1000,
};

class NSMenu;
class NSWindow;

// ------------------------------------------------------------ application
extern const NSNotificationName NSApplicationDidFinishLaunchingNotification;
extern const NSNotificationName NSApplicationWillBecomeActiveNotification;
extern const NSNotificationName NSApplicationDidBecomeActiveNotification;
extern const NSNotificationName NSApplicationWillTerminateNotification;

// The application delegate protocol; the application calls these besides
// posting the matching notifications.
class NSApplicationDelegate {
public:
    virtual ~NSApplicationDelegate() = default;
    virtual void applicationDidFinishLaunching(NSNotification*) {}
    virtual void applicationDidBecomeActive(NSNotification*) {}
    virtual void applicationWillTerminate(NSNotification*) {}
    virtual bool applicationSupportsSecureRestorableState(class NSApplication*) { return false; }
};

// The one application object; its run loop is the Qt event loop, which is
// also the Core Foundation main run loop (CF timers and work posted from
// other threads run inside it). Activation: will-become-active and
// did-become-active are posted at the first activation (when run starts)
// and whenever the application comes to the front again.
class NSApplication : public NSObject {
public:
    // Creates the application (and Qt's) on first use; on Linux it picks the
    // xcb platform when a display is set and no platform was chosen.
    static NSApplication* sharedApplication();
    ~NSApplication() override;

    void setDelegate(NSApplicationDelegate* delegate);
    NSApplicationDelegate* delegate() const;

    // Runs the main loop until terminate: (Linux: then returns).
    void run();
    bool isRunning() const;
    bool isActive() const;
    // Posts the will-terminate notification (and tells the delegate), then
    // ends the main loop; the observers run while the loop still runs.
    // Closing the last visible window with its close button terminates too.
    void terminate(id sender);

    // The menu's bar appears in the main window; its key equivalents work in
    // every window of the application. Not owned.
    void setMainMenu(NSMenu* menu);
    NSMenu* mainMenu() const;
    // The window that called makeMainWindow while it is visible, else null.
    NSWindow* mainWindow() const;
    NSWindow* keyWindow() const;

private:
    friend struct vt::appkit::ApplicationImpl;
    friend class vt::appkit::ViewAccess;
    NSApplication();
    std::unique_ptr<vt::appkit::ApplicationImpl> d;
};
#define NSApp (NSApplication::sharedApplication())

// The process's main loop: creates the application, calls
// loadMainInterface (the stand-in for the main interface description: it
// builds the windows, menu and delegate and wires them), sends
// did-finish-launching, runs the loop and returns 0 after terminate:.
int NSApplicationMain(int argc, char* argv[], void (*loadMainInterface)());

// ------------------------------------------------------------------ screen
class NSScreen {
public:
    // The screen with the menu bar (Qt's primary screen); null without one.
    static NSScreen* mainScreen();
    NSRect frame() const;

private:
    friend class vt::appkit::ViewAccess;
    explicit NSScreen(const void* qtScreen) : m_screen(qtScreen) {}
    const void* m_screen;
};

// ------------------------------------------------------------------- timer
// A run-loop timer (on a QTimer). The caller owns it: destroying it
// invalidates it, and an invalidated timer never fires again. A
// non-repeating timer is invalid after it fired.
class NSTimer : public NSObject {
public:
    // scheduledTimerWithTimeInterval:target:selector:userInfo:repeats:
    template <class T>
    static std::unique_ptr<NSTimer> scheduledTimerWithTimeInterval(NSTimeInterval interval, T* target,
                                                                   void (T::*selector)(NSTimer*), bool repeats)
    {
        return schedule(
            interval, [target, selector](NSTimer* t) { (target->*selector)(t); }, repeats);
    }
    ~NSTimer() override;

    void invalidate();
    bool isValid() const;
    NSTimeInterval timeInterval() const;

private:
    friend struct vt::appkit::TimerImpl;
    NSTimer();
    static std::unique_ptr<NSTimer> schedule(NSTimeInterval interval, std::function<void(NSTimer*)> fire, bool repeats);
    std::unique_ptr<vt::appkit::TimerImpl> d;
};

// -------------------------------------------------------------------- menu
// A menu item with a target/action; its key equivalent is a letter used
// with Command (Ctrl on Linux): "t" is Ctrl+T, "T" is Ctrl+Shift+T.
class NSMenuItem : public NSObject {
public:
    NSMenuItem(const NSString& title, const NSString& keyEquivalent);
    static NSMenuItem* separatorItem();
    ~NSMenuItem() override;

    NSString title() const;
    template <class T> void setTarget(T* target, void (T::*action)(id))
    {
        setAction([target, action](id sender) { (target->*action)(sender); });
    }
    // An action that does not look at its sender.
    template <class T> void setTarget(T* target, void (T::*action)())
    {
        setAction([target, action](id) { (target->*action)(); });
    }
    // A disabled item is shown greyed and neither its click nor its key
    // equivalent sends the action.
    bool isEnabled() const;
    void setEnabled(bool enabled);
    // Takes ownership of the submenu.
    void setSubmenu(NSMenu* submenu);
    NSMenu* submenu() const;

private:
    friend class NSMenu;
    friend class vt::appkit::ViewAccess;
    void setAction(std::function<void(id)> action);
    std::unique_ptr<vt::appkit::MenuItemImpl> d;
};

class NSMenu : public NSObject {
public:
    explicit NSMenu(const NSString& title);
    ~NSMenu() override;

    NSString title() const;
    // Takes ownership of the item.
    void addItem(NSMenuItem* item);
    template <class T>
    NSMenuItem* addItemWithTitle(const NSString& title, T* target, void (T::*action)(id), const NSString& keyEquivalent)
    {
        auto* item = new NSMenuItem(title, keyEquivalent);
        item->setTarget(target, action);
        addItem(item);
        return item;
    }
    NSInteger numberOfItems() const;
    NSMenuItem* itemAtIndex(NSInteger index) const;
    // The height of the main menu's bar where it is shown; 0 when it is not
    // shown (no main window, or this is not the main menu).
    CGFloat menuBarHeight() const;

private:
    friend class NSMenuItem;
    friend class vt::appkit::ViewAccess;
    std::unique_ptr<vt::appkit::MenuImpl> d;
};

// -------------------------------------------------------------------- event
enum NSEventType : NSUInteger { NSEventTypeKeyDown = 10, NSEventTypeKeyUp = 11 };

enum NSEventModifierFlags : NSUInteger {
    NSEventModifierFlagShift = 1 << 17,
    NSEventModifierFlagControl = 1 << 18, // the Super key on Linux
    NSEventModifierFlagOption = 1 << 19,  // Alt
    NSEventModifierFlagCommand = 1 << 20, // Ctrl
};

// The characters of keys that type none, as macOS delivers them.
enum : unichar {
    NSEnterCharacter = 0x03,
    NSBackspaceCharacter = 0x08,
    NSTabCharacter = 0x09,
    NSCarriageReturnCharacter = 0x0D,
    NSUpArrowFunctionKey = 0xF700,
    NSDownArrowFunctionKey = 0xF701,
    NSLeftArrowFunctionKey = 0xF702,
    NSRightArrowFunctionKey = 0xF703,
    NSF1FunctionKey = 0xF704, // ... NSF12FunctionKey = 0xF70F
    NSF12FunctionKey = 0xF70F,
    NSInsertFunctionKey = 0xF727,
    NSDeleteFunctionKey = 0xF728,
    NSHomeFunctionKey = 0xF729,
    NSEndFunctionKey = 0xF72B,
    NSPageUpFunctionKey = 0xF72C,
    NSPageDownFunctionKey = 0xF72D,
    NSPrintScreenFunctionKey = 0xF72E,
    NSScrollLockFunctionKey = 0xF72F,
    NSPauseFunctionKey = 0xF730,
    NSMenuFunctionKey = 0xF735,
    NSSelectFunctionKey = 0xF741,
    NSExecuteFunctionKey = 0xF742,
    NSHelpFunctionKey = 0xF746,
};

// A key event as a window's keyDown:/keyUp: receives it. characters holds
// what the key types with Shift and Option applied but not Command (Ctrl+A
// gives "a", Ctrl+Shift+A "A"); keys that type nothing give the characters
// above (escape 27). keyCode is the macOS hardware key code (space 49,
// return 36, escape 53, the letters of the ANSI layout).
class NSEvent {
public:
    NSEvent(NSEventType type, NSString characters, unsigned short keyCode, NSUInteger modifierFlags)
        : m_type(type), m_characters(std::move(characters)), m_keyCode(keyCode), m_modifierFlags(modifierFlags)
    {
    }
    NSEventType type() const { return m_type; }
    const NSString& characters() const { return m_characters; }
    unsigned short keyCode() const { return m_keyCode; }
    NSUInteger modifierFlags() const { return m_modifierFlags; }

private:
    friend class NSWindow;
    friend struct vt::appkit::WindowImpl;
    friend class vt::appkit::ViewAccess;
    NSEventType m_type;
    NSString m_characters;
    unsigned short m_keyCode;
    NSUInteger m_modifierFlags;
    bool m_passedOn = false; // reached the inherited window handling
};

// ------------------------------------------------------------------- views
// A colour with components 0 to 1.
struct NSColor {
    CGFloat red = 0, green = 0, blue = 0, alpha = 1;
    static NSColor whiteColor() { return {1, 1, 1, 1}; }
    static NSColor colorWithRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a) { return {r, g, b, a}; }
};

// A view's backing layer, as far as its background colour.
class CALayer {
public:
    void setBackgroundColor(const NSColor& color);

private:
    friend class NSView;
    explicit CALayer(class NSView* view) : m_view(view) {}
    class NSView* m_view;
};

class NSView : public NSObject {
public:
    explicit NSView(NSRect frame = {});
    ~NSView() override;

    // Takes ownership of the subview.
    void addSubview(NSView* view);
    NSView* superview() const;
    NSWindow* window() const;

    NSRect frame() const; // flipped: relative to the superview's top left
    void setFrame(NSRect frame);
    bool isHidden() const;
    void setHidden(bool hidden);
    void setWantsLayer(bool wantsLayer);
    // The backing layer once setWantsLayer(true) was called; null before.
    CALayer* layer();

    // Linux: makes this view a native X11 child window and answers its id,
    // the parent a plug-in editor opens into; 0 on the offscreen platform or
    // on any platform that is not X11 (XWayland counts as X11).
    unsigned long x11WindowID();

protected:
    explicit NSView(std::unique_ptr<vt::appkit::ViewImpl> impl);
    vt::appkit::ViewImpl* impl() const { return d.get(); }

private:
    friend class vt::appkit::ViewAccess;
    std::unique_ptr<vt::appkit::ViewImpl> d;
    std::unique_ptr<CALayer> m_layer;
};

// A view whose controls and images come from the interface description.
class NSViewController : public NSObject {
public:
    // Called by the window resource once the view and outlets are connected.
    virtual void viewDidLoad() {}
    NSView* view() const { return m_view; }
    // Not owned: the view belongs to the window it is shown in.
    void setView(NSView* view) { m_view = view; }

private:
    NSView* m_view = nullptr;
};

// A bordered box with a title that groups controls (add them as subviews).
class NSBox : public NSView {
public:
    explicit NSBox(NSRect frame);
    void setTitle(const NSString& title);
    NSString title() const;
};

// An image from the application bundle's resources.
class NSImage {
public:
    // The image file of that name in Contents/Resources ("enabled.png"; a
    // name without extension finds "<name>.png"); null when there is none or
    // it cannot be read. Named images live for the whole run.
    static NSImage* imageNamed(const NSString& name);
    NSString name() const { return m_name; }
    NSSize size() const { return m_size; }

private:
    friend class vt::appkit::ViewAccess;
    NSImage() = default;
    NSString m_name;
    NSString m_path;
    NSSize m_size;
};

class NSImageView : public NSView {
public:
    explicit NSImageView(NSRect frame);
    void setImage(NSImage* image);
    NSImage* image() const;
};

// ------------------------------------------------------------------ window
enum NSWindowStyleMask : NSUInteger {
    NSWindowStyleMaskBorderless = 0,
    NSWindowStyleMaskTitled = 1 << 0,
    NSWindowStyleMaskClosable = 1 << 1,
    NSWindowStyleMaskMiniaturizable = 1 << 2,
    NSWindowStyleMaskResizable = 1 << 3,
};
using NSWindowLevel = NSInteger;
enum : NSWindowLevel { NSNormalWindowLevel = 0, NSFloatingWindowLevel = 3, NSDockWindowLevel = 20 };
enum NSWindowOrderingMode : NSInteger { NSWindowBelow = -1, NSWindowOut = 0, NSWindowAbove = 1 };

// A top-level window. Any level above normal keeps it above normal windows.
// A borderless window has no title bar and, unless a subclass answers true
// from canBecomeKeyWindow, does not take the keyboard.
class NSWindow : public NSObject {
public:
    explicit NSWindow(NSRect contentRect, NSUInteger styleMask = NSWindowStyleMaskTitled | NSWindowStyleMaskClosable |
                                                                 NSWindowStyleMaskMiniaturizable);
    ~NSWindow() override;

    NSRect frame() const;
    void setFrame(NSRect frame, bool display);
    void setFrame(NSRect frame, bool display, bool animate); // animation is not shown on Linux
    void setFrameOrigin(NSPoint origin);
    // Centres the window on its screen's free area.
    void center();
    // The screen the window lies on; null when there is no screen.
    NSScreen* screen() const;
    // Redraws the window now.
    void display();

    NSString title() const;
    void setTitle(const NSString& title);
    NSWindowLevel level() const;
    void setLevel(NSWindowLevel level);
    NSUInteger styleMask() const;
    void setStyleMask(NSUInteger styleMask);

    // The content view fills the window below the menu bar; owned by the
    // window (setting a new one deletes the old one).
    NSView* contentView() const;
    void setContentView(NSView* view);

    // A child window stays ordered above its parent and moves with it; it
    // is shown when the parent is visible. Neither owns the other.
    void addChildWindow(NSWindow* child, NSWindowOrderingMode place);
    void removeChildWindow(NSWindow* child);
    std::vector<NSWindow*> childWindows() const;
    NSWindow* parentWindow() const;

    bool isVisible() const;
    void setIsVisible(bool visible);
    bool isKeyWindow() const;
    void makeKeyWindow();
    void makeMainWindow();
    void makeKeyAndOrderFront(id sender);
    void orderFront(id sender);
    // Hides the window. Subclasses that override it must call the inherited
    // orderOut; close goes through it too.
    virtual void orderOut(id sender);
    // Orders the window out (through orderOut: with a nil sender).
    void close();
    virtual bool canBecomeKeyWindow() const;

    // Key events that no control of the window took. The inherited handling
    // passes the event on unhandled (Command shortcuts have already reached
    // the menu by then).
    virtual void keyDown(NSEvent* event);
    virtual void keyUp(NSEvent* event);

private:
    friend struct vt::appkit::WindowImpl;
    friend class vt::appkit::ViewAccess;
    std::unique_ptr<vt::appkit::WindowImpl> d;
};

// ---------------------------------------------------------------- controls
// A view with a target/action: the action runs with the control as sender
// when the user changes it.
class NSControl : public NSView {
public:
    bool isEnabled() const;
    void setEnabled(bool enabled);
    template <class T> void setTarget(T* target, void (T::*action)(id))
    {
        setAction([target, action](id sender) { (target->*action)(sender); });
    }

protected:
    using NSView::NSView;

private:
    void setAction(std::function<void(id)> action);
};

enum NSButtonType : NSUInteger { NSButtonTypeSwitch = 3, NSButtonTypeMomentaryPushIn = 7 };
using NSControlStateValue = NSInteger;
enum : NSControlStateValue { NSControlStateValueOff = 0, NSControlStateValueOn = 1 };

// A push button, or a check box (NSButtonTypeSwitch) whose state is 0 or 1;
// clicking a check box flips its state before the action runs.
class NSButton : public NSControl {
public:
    NSButton(NSRect frame, NSButtonType type);
    NSString title() const;
    void setTitle(const NSString& title);
    NSControlStateValue state() const;
    void setState(NSControlStateValue state);
};

// A pop-up menu of titled items; the action runs when the user chooses one.
class NSPopUpButton : public NSControl {
public:
    explicit NSPopUpButton(NSRect frame);
    void addItemWithTitle(const NSString& title);
    void removeAllItems();
    NSInteger numberOfItems() const;
    // Selects the item; an index outside the items selects none.
    void selectItemAtIndex(NSInteger index);
    // -1 when nothing is selected.
    NSInteger indexOfSelectedItem() const;
    NSString itemTitleAtIndex(NSInteger index) const;
    NSString titleOfSelectedItem() const;
};

// Decides what a text field accepts while the user types, and how a number
// is shown.
class NSFormatter : public NSObject {
public:
    // Called for every change the user makes; false refuses the change and
    // the field keeps its previous text. newString and error may be set to
    // propose a replacement (unused by the stand-in) or explain a refusal.
    virtual bool isPartialStringValid(const NSString& partialString, NSString* newString, NSString* error);
    // The text a number is shown as.
    virtual NSString stringForObjectValue(double value);
};

class NSNumberFormatter : public NSFormatter {
public:
    void setMinimumFractionDigits(NSUInteger digits) { m_minimumFractionDigits = digits; }
    void setMaximumFractionDigits(NSUInteger digits) { m_maximumFractionDigits = digits; }
    NSString stringFromNumber(double value) const;
    NSString stringForObjectValue(double value) override { return stringFromNumber(value); }

private:
    NSUInteger m_minimumFractionDigits = 0;
    NSUInteger m_maximumFractionDigits = 3;
};

// An editable text field or, with setEditable(false), a label. The action
// runs when the user ends editing a changed text (return, or leaving the
// field). Values read from the text as NSString's do: leading blanks, then
// the longest number; 0 when there is none.
class NSTextField : public NSControl {
public:
    explicit NSTextField(NSRect frame);
    NSString stringValue() const;
    void setStringValue(const NSString& value);
    NSInteger integerValue() const;
    void setIntegerValue(NSInteger value);
    double doubleValue() const;
    // Shown through the formatter when there is one.
    void setDoubleValue(double value);
    bool isEditable() const;
    void setEditable(bool editable);
    // Takes ownership of the formatter.
    void setFormatter(NSFormatter* formatter);
    NSFormatter* formatter() const;
};

// Up and down arrows that step a value within its limits (defaults: 0 to
// 100, increment 1); the action runs at every step. Setting a value outside
// the limits clamps it.
class NSStepper : public NSControl {
public:
    explicit NSStepper(NSRect frame);
    double doubleValue() const;
    void setDoubleValue(double value);
    NSInteger integerValue() const;
    void setIntegerValue(NSInteger value);
    double minValue() const;
    void setMinValue(double value);
    double maxValue() const;
    void setMaxValue(double value);
    double increment() const;
    void setIncrement(double value);
};

// ------------------------------------------------------------------ table
class NSTableView;

class NSTableColumn : public NSObject {
public:
    explicit NSTableColumn(const NSString& identifier) : m_identifier(identifier) {}
    const NSString& identifier() const { return m_identifier; }
    void setTitle(const NSString& title) { m_title = title; }
    const NSString& title() const { return m_title; }

private:
    NSString m_identifier;
    NSString m_title;
};

// What a cell shows: the text or image a data source answers (an id on
// macOS); neither for an empty cell.
struct NSTableObjectValue {
    NSString string;
    NSImage* image = nullptr;
    NSTableObjectValue() = default;
    NSTableObjectValue(NSString text) : string(std::move(text)) {}
    NSTableObjectValue(const char* text) : string(text) {}
    NSTableObjectValue(NSImage* picture) : image(picture) {}
};

class NSTableViewDataSource {
public:
    virtual ~NSTableViewDataSource() = default;
    virtual NSInteger numberOfRowsInTableView(NSTableView* tableView) = 0;
    // tableView:objectValueForTableColumn:row:
    virtual NSTableObjectValue tableViewObjectValueForTableColumn(NSTableView* tableView, NSTableColumn* column,
                                                                  NSInteger row) = 0;
};

extern const NSNotificationName NSTableViewSelectionDidChangeNotification;

class NSTableViewDelegate {
public:
    virtual ~NSTableViewDelegate() = default;
    // The user selected another row; the notification's object is the table.
    virtual void tableViewSelectionDidChange(NSNotification*) {}
};

// Rows come from the data source (asked again at reloadData); the user
// selects one row at a time.
class NSTableView : public NSControl {
public:
    explicit NSTableView(NSRect frame);
    ~NSTableView() override;
    // Takes ownership of the column.
    void addTableColumn(NSTableColumn* column);
    std::vector<NSTableColumn*> tableColumns() const;
    // Neither is owned.
    void setDataSource(NSTableViewDataSource* dataSource);
    void setDelegate(NSTableViewDelegate* delegate);
    void reloadData();
    NSInteger numberOfRows() const;
    // -1 when no row is selected.
    NSInteger selectedRow() const;
};

// --------------------------------------------------------------------- tabs
class NSTabViewItem : public NSObject {
public:
    explicit NSTabViewItem(const NSString& identifier);
    ~NSTabViewItem() override;
    const NSString& identifier() const { return m_identifier; }
    void setLabel(const NSString& label);
    NSString label() const { return m_label; }
    // The item's own view: add the tab's controls to it. Owned by the item.
    NSView* view() const { return m_view.get(); }

private:
    friend class NSTabView;
    NSString m_identifier;
    NSString m_label;
    std::unique_ptr<NSView> m_view;
};

class NSTabView : public NSView {
public:
    explicit NSTabView(NSRect frame);
    ~NSTabView() override;
    // Takes ownership of the item.
    void addTabViewItem(NSTabViewItem* item);
    NSInteger numberOfTabViewItems() const;
    // Null outside 0 ..< numberOfTabViewItems.
    NSTabViewItem* tabViewItemAtIndex(NSInteger index) const;
    // The tab disappears; the item and its controls stay alive until the tab
    // view is destroyed, so outlets into a removed tab stay valid.
    void removeTabViewItem(NSTabViewItem* item);

private:
    std::vector<std::unique_ptr<NSTabViewItem>> m_items;
    std::vector<std::unique_ptr<NSTabViewItem>> m_removed;
};

// ---------------------------------------------------------- alerts, panels
enum NSAlertStyle : NSUInteger { NSAlertStyleWarning = 0, NSAlertStyleInformational = 1, NSAlertStyleCritical = 2 };

// A modal alert with one "OK" button. On Linux it is a Qt dialog (tests
// answer it through the scripted user).
class NSAlert {
public:
    void setMessageText(const NSString& text) { m_messageText = text; }
    const NSString& messageText() const { return m_messageText; }
    void setInformativeText(const NSString& text) { m_informativeText = text; }
    const NSString& informativeText() const { return m_informativeText; }
    void setAlertStyle(NSAlertStyle style) { m_style = style; }
    NSAlertStyle alertStyle() const { return m_style; }
    // Waits for the user; NSAlertFirstButtonReturn when OK was pressed.
    NSModalResponse runModal();

private:
    NSString m_messageText;
    NSString m_informativeText;
    NSAlertStyle m_style = NSAlertStyleWarning;
};

// A modal save panel (Qt's own file dialog, the same on every desktop). As
// the macOS panel does, a typed name without one of the allowed extensions
// gets the first of them appended.
class NSSavePanel {
public:
    virtual ~NSSavePanel() = default;
    // Extensions without the dot ("aiff"); empty allows every file.
    void setAllowedFileTypes(std::vector<NSString> types) { m_allowedFileTypes = std::move(types); }
    const std::vector<NSString>& allowedFileTypes() const { return m_allowedFileTypes; }
    void setNameFieldStringValue(const NSString& name) { m_nameFieldStringValue = name; }
    const NSString& nameFieldStringValue() const { return m_nameFieldStringValue; }
    void setDirectoryURL(const NSURL& url) { m_directoryURL = url; }
    const NSURL& directoryURL() const { return m_directoryURL; }
    // NSModalResponseOK when the user chose, NSModalResponseCancel else.
    virtual NSModalResponse runModal();
    // The chosen file after NSModalResponseOK; nil before or after cancel.
    NSURL URL() const;

protected:
    friend class vt::appkit::ViewAccess;
    std::vector<NSString> m_allowedFileTypes;
    NSString m_nameFieldStringValue;
    NSURL m_directoryURL;
    std::vector<NSURL> m_chosen;
};

class NSOpenPanel : public NSSavePanel {
public:
    void setCanChooseFiles(bool can) { m_canChooseFiles = can; }
    void setCanChooseDirectories(bool can) { m_canChooseDirectories = can; }
    void setAllowsMultipleSelection(bool allows) { m_allowsMultipleSelection = allows; }
    NSModalResponse runModal() override;
    // The chosen files after NSModalResponseOK.
    std::vector<NSURL> URLs() const { return m_chosen; }

private:
    friend class vt::appkit::ViewAccess;
    bool m_canChooseFiles = true;
    bool m_canChooseDirectories = false;
    bool m_allowsMultipleSelection = false;
};
