// The Qt side of the AppKit stand-in: the private implementation structs
// behind the public classes. Only the stand-in's own files and the test-only
// library include this header.
#pragma once

#include "ModalPresenter.h"

#include <AppKit/AppKit.h>

#include <QtCore/QPoint>
#include <QtCore/QPointer>
#include <QtWidgets/QWidget>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QApplication;
class QKeyEvent;
class QMenu;
class QMenuBar;
class QScreen;

namespace vt::appkit {

// Creates the application (and with it Qt's) when it does not exist yet;
// every widget-owning object calls it first.
void ensureApplication();

// The application's list of windows (for the key and main windows and the
// menu's key equivalents).
void registerWindow(NSWindow* window, bool add);
void makeMainWindow(NSWindow* window);
bool anyWindowVisible();

// While one exists, the main run loop defers no user input: a modal dialog
// opened from inside a run-loop slice must take the user's answer.
class ModalScope {
public:
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    int m_savedDepth;
};

// The presenter in use: the installed one, else the Qt dialogs.
ModalPresenter& presenter();

struct ViewImpl {
    explicit ViewImpl(QWidget* w) : widget(w) {}
    virtual ~ViewImpl() = default;
    void sendAction()
    {
        if (action)
            action(owner);
    }

    QPointer<QWidget> widget; // owned by the view
    NSView* owner = nullptr;
    NSView* superview = nullptr;
    std::vector<NSView*> subviews; // owned
    NSWindow* window = nullptr;    // set on a window's content view
    std::function<void(id)> action;
};

class WindowWidget;

struct WindowImpl {
    NSWindow* owner = nullptr;
    WindowWidget* widget = nullptr; // owned
    std::unique_ptr<NSView> contentView;
    QMenuBar* menuBar = nullptr; // child of widget, only in the main window
    std::vector<NSWindow*> children;
    NSWindow* parent = nullptr;
    NSWindowLevel level = NSNormalWindowLevel;
    NSUInteger styleMask = 0;
    QPoint lastTopLeft; // where the children were last placed from

    void layout();
    // Moves the child windows by as much as this window moved since the
    // last call.
    void moveChildrenWithParent();
    void applyWindowFlags();
    void keyEvent(QKeyEvent* event, bool down);
    void userClosed();
};

class WindowWidget : public QWidget {
public:
    explicit WindowWidget(WindowImpl* window);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    WindowImpl* m_window;
};

struct MenuImpl {
    QMenu* menu = nullptr; // owned
    NSString title;
    std::vector<std::unique_ptr<NSMenuItem>> items;
};

struct MenuItemImpl {
    QAction* action = nullptr; // owned
    std::function<void(id)> call;
    std::unique_ptr<NSMenu> submenu;
};

// Converts a Qt key event into the event a window's keyDown:/keyUp: reads.
NSEvent eventFromKey(const QKeyEvent& event, bool down);

// Reaches the private parts of the public classes.
class ViewAccess {
public:
    static ViewImpl* impl(const NSView* view) { return view->d.get(); }
    static WindowImpl* impl(const NSWindow* window) { return window->d.get(); }
    static MenuImpl* impl(const NSMenu* menu) { return menu->d.get(); }
    static MenuItemImpl* impl(const NSMenuItem* item) { return item->d.get(); }
    static QWidget* widget(const NSView* view) { return view->d->widget; }
    static QWidget* widget(const NSWindow* window);
    static NSScreen* screen(QScreen* screen);
    static NSImage* makeImage(const NSString& name, const NSString& path, NSSize size);
    static const NSString& imagePath(const NSImage* image) { return image->m_path; }
    static bool passedOn(const NSEvent& event) { return event.m_passedOn; }
    static ApplicationImpl* app() { return NSApplication::sharedApplication()->d.get(); }
};

} // namespace vt::appkit
