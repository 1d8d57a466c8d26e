// Windows, views, images and key events.
#include "AppKitPrivate.h"

#include <QtGui/QCloseEvent>
#include <QtGui/QGuiApplication>
#include <QtGui/QImageReader>
#include <QtGui/QKeyEvent>
#include <QtGui/QPixmap>
#include <QtGui/QScreen>
#include <QtGui/QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <QtWidgets/QApplication>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QMenuBar>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace vt::appkit {

namespace {

int mainScreenHeight()
{
    QScreen* primary = QGuiApplication::primaryScreen();
    return primary != nullptr ? primary->geometry().height() : 0;
}

QRect qtRect(NSRect frame)
{
    // AppKit's y grows upwards from the main screen's bottom.
    int height = static_cast<int>(std::lround(frame.size.height));
    int y = mainScreenHeight() - static_cast<int>(std::lround(frame.origin.y)) - height;
    return QRect(static_cast<int>(std::lround(frame.origin.x)), y, static_cast<int>(std::lround(frame.size.width)),
                 height);
}

NSRect appKitRect(const QRect& rect)
{
    return NSMakeRect(rect.x(), mainScreenHeight() - (rect.y() + rect.height()), rect.width(), rect.height());
}

// The character and macOS key code of the keys that type no text.
struct SpecialKey {
    int qtKey;
    unichar character;
    unsigned short keyCode;
};

constexpr SpecialKey kSpecialKeys[] = {
    {Qt::Key_Backspace, NSBackspaceCharacter, 51},
    {Qt::Key_Tab, NSTabCharacter, 48},
    {Qt::Key_Backtab, NSTabCharacter, 48},
    {Qt::Key_Return, NSCarriageReturnCharacter, 36},
    {Qt::Key_Enter, NSEnterCharacter, 76},
    {Qt::Key_Escape, 27, 53},
    {Qt::Key_Space, ' ', 49},
    {Qt::Key_Up, NSUpArrowFunctionKey, 126},
    {Qt::Key_Down, NSDownArrowFunctionKey, 125},
    {Qt::Key_Left, NSLeftArrowFunctionKey, 123},
    {Qt::Key_Right, NSRightArrowFunctionKey, 124},
    {Qt::Key_F1, 0xF704, 122},
    {Qt::Key_F2, 0xF705, 120},
    {Qt::Key_F3, 0xF706, 99},
    {Qt::Key_F4, 0xF707, 118},
    {Qt::Key_F5, 0xF708, 96},
    {Qt::Key_F6, 0xF709, 97},
    {Qt::Key_F7, 0xF70A, 98},
    {Qt::Key_F8, 0xF70B, 100},
    {Qt::Key_F9, 0xF70C, 101},
    {Qt::Key_F10, 0xF70D, 109},
    {Qt::Key_F11, 0xF70E, 103},
    {Qt::Key_F12, 0xF70F, 111},
    {Qt::Key_Insert, NSInsertFunctionKey, 114},
    {Qt::Key_Delete, NSDeleteFunctionKey, 117},
    {Qt::Key_Home, NSHomeFunctionKey, 115},
    {Qt::Key_End, NSEndFunctionKey, 119},
    {Qt::Key_PageUp, NSPageUpFunctionKey, 116},
    {Qt::Key_PageDown, NSPageDownFunctionKey, 121},
    {Qt::Key_Print, NSPrintScreenFunctionKey, 105},
    {Qt::Key_ScrollLock, NSScrollLockFunctionKey, 107},
    {Qt::Key_Pause, NSPauseFunctionKey, 113},
    {Qt::Key_Menu, NSMenuFunctionKey, 110},
    {Qt::Key_Select, NSSelectFunctionKey, 0xFFFF},
    {Qt::Key_Execute, NSExecuteFunctionKey, 0xFFFF},
    {Qt::Key_Help, NSHelpFunctionKey, 114},
};

// macOS key codes of the ANSI letters a to z and digits 0 to 9.
constexpr unsigned short kLetterKeyCodes[] = {0,  11, 8,  2,  14, 3, 5,  4,  34, 38, 40, 37, 46,
                                              45, 31, 35, 12, 15, 1, 17, 32, 9,  13, 7,  16, 6};
constexpr unsigned short kDigitKeyCodes[] = {29, 18, 19, 20, 21, 23, 22, 26, 28, 25};
constexpr unsigned short kNoKeyCode = 0xFFFF;

// The offscreen platform has no stacking order to change (and says so).
void raise(QWidget* widget)
{
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        widget->raise();
}

} // namespace

NSEvent eventFromKey(const QKeyEvent& event, bool down)
{
    Qt::KeyboardModifiers qtModifiers = event.modifiers();
    NSUInteger modifiers = 0;
    if (qtModifiers & Qt::ShiftModifier)
        modifiers |= NSEventModifierFlagShift;
    if (qtModifiers & Qt::ControlModifier)
        modifiers |= NSEventModifierFlagCommand;
    if (qtModifiers & Qt::AltModifier)
        modifiers |= NSEventModifierFlagOption;
    if (qtModifiers & Qt::MetaModifier)
        modifiers |= NSEventModifierFlagControl;

    int key = event.key();
    std::u16string characters;
    unsigned short keyCode = kNoKeyCode;
    auto special = std::find_if(std::begin(kSpecialKeys), std::end(kSpecialKeys),
                                [key](const SpecialKey& s) { return s.qtKey == key; });
    if (special != std::end(kSpecialKeys)) {
        characters.push_back(special->character);
        keyCode = special->keyCode;
    } else {
        if (key >= Qt::Key_A && key <= Qt::Key_Z)
            keyCode = kLetterKeyCodes[key - Qt::Key_A];
        else if (key >= Qt::Key_0 && key <= Qt::Key_9)
            keyCode = kDigitKeyCodes[key - Qt::Key_0];
        // Command does not change what a key types (Qt gives a control
        // character for Ctrl+letter).
        if ((qtModifiers & Qt::ControlModifier) && key >= Qt::Key_A && key <= Qt::Key_Z) {
            char letter = static_cast<char>((qtModifiers & Qt::ShiftModifier) ? 'A' + (key - Qt::Key_A)
                                                                              : 'a' + (key - Qt::Key_A));
            characters.push_back(static_cast<char16_t>(letter));
        } else if ((qtModifiers & Qt::ControlModifier) && key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde) {
            characters.push_back(static_cast<char16_t>(key));
        } else {
            characters = event.text().toStdU16String();
        }
    }
    QString text = QString::fromStdU16String(characters);
    return NSEvent(down ? NSEventTypeKeyDown : NSEventTypeKeyUp, NSString(text.toStdString()), keyCode, modifiers);
}

// ------------------------------------------------------------- WindowWidget
WindowWidget::WindowWidget(WindowImpl* window) : m_window(window)
{
    setFocusPolicy(Qt::StrongFocus);
}

void WindowWidget::keyPressEvent(QKeyEvent* event)
{
    m_window->keyEvent(event, true);
}

void WindowWidget::keyReleaseEvent(QKeyEvent* event)
{
    m_window->keyEvent(event, false);
}

void WindowWidget::closeEvent(QCloseEvent* event)
{
    // The window is ordered out through NSWindow, never destroyed by Qt.
    event->ignore();
    m_window->userClosed();
}

void WindowWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_window->layout();
}

void WindowWidget::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    m_window->moveChildrenWithParent();
}

// --------------------------------------------------------------- WindowImpl
void WindowImpl::layout()
{
    int bar = 0;
    if (menuBar != nullptr) {
        bar = menuBar->sizeHint().height();
        menuBar->setGeometry(0, 0, widget->width(), bar);
    }
    if (contentView)
        ViewAccess::widget(contentView.get())
            ->setGeometry(0, bar, widget->width(), std::max(widget->height() - bar, 0));
}

void WindowImpl::moveChildrenWithParent()
{
    QPoint now = widget->geometry().topLeft();
    QPoint delta = now - lastTopLeft;
    lastTopLeft = now;
    if (delta.isNull())
        return;
    for (NSWindow* child : children) {
        WindowImpl* c = ViewAccess::impl(child);
        c->widget->setGeometry(c->widget->geometry().translated(delta));
        c->moveChildrenWithParent();
    }
}

void WindowImpl::applyWindowFlags()
{
    Qt::WindowFlags flags = Qt::Window;
    if (styleMask == NSWindowStyleMaskBorderless)
        flags |= Qt::FramelessWindowHint;
    if (level > NSNormalWindowLevel)
        flags |= Qt::WindowStaysOnTopHint;
    if (widget->windowFlags() == flags)
        return;
    // Qt hides a window whose flags change; it stays where it was.
    bool visible = widget->isVisible();
    QRect geometry = widget->geometry();
    widget->setWindowFlags(flags);
    widget->setGeometry(geometry);
    if (visible)
        widget->show();
}

void WindowImpl::keyEvent(QKeyEvent* event, bool down)
{
    NSEvent nsEvent = eventFromKey(*event, down);
    if (down)
        owner->keyDown(&nsEvent);
    else
        owner->keyUp(&nsEvent);
    event->setAccepted(!nsEvent.m_passedOn);
}

void WindowImpl::userClosed()
{
    owner->close();
    // On Linux closing the last window ends the application, with the
    // will-terminate notification, so nothing is left running unseen.
    if (NSApp->isRunning() && !anyWindowVisible())
        NSApp->terminate(nullptr);
}

} // namespace vt::appkit

using vt::appkit::ViewAccess;

// ------------------------------------------------------------------ NSWindow
NSWindow::NSWindow(NSRect contentRect, NSUInteger styleMask) : d(std::make_unique<vt::appkit::WindowImpl>())
{
    vt::appkit::ensureApplication();
    d->owner = this;
    d->styleMask = styleMask;
    d->widget = new vt::appkit::WindowWidget(d.get());
    d->applyWindowFlags();
    d->widget->setGeometry(vt::appkit::qtRect(contentRect));
    d->lastTopLeft = d->widget->geometry().topLeft();
    setContentView(new NSView(NSMakeRect(0, 0, contentRect.size.width, contentRect.size.height)));
    vt::appkit::registerWindow(this, true);
}

NSWindow::~NSWindow()
{
    if (d->parent != nullptr)
        d->parent->removeChildWindow(this);
    for (NSWindow* child : childWindows())
        removeChildWindow(child);
    vt::appkit::registerWindow(this, false);
    d->contentView.reset();
    delete d->widget;
}

NSRect NSWindow::frame() const
{
    return vt::appkit::appKitRect(d->widget->geometry());
}

void NSWindow::setFrame(NSRect frame, bool display)
{
    d->widget->setGeometry(vt::appkit::qtRect(frame));
    // Hidden windows get no move events; their children follow all the same.
    d->moveChildrenWithParent();
    if (display)
        this->display();
}

void NSWindow::setFrame(NSRect frame, bool display, bool)
{
    setFrame(frame, display);
}

void NSWindow::setFrameOrigin(NSPoint origin)
{
    NSRect f = frame();
    f.origin = origin;
    setFrame(f, false);
}

void NSWindow::center()
{
    QScreen* screen = d->widget->screen();
    if (screen == nullptr)
        return;
    QRect geometry = d->widget->geometry();
    geometry.moveCenter(screen->availableGeometry().center());
    d->widget->setGeometry(geometry);
    d->moveChildrenWithParent();
}

NSScreen* NSWindow::screen() const
{
    return QGuiApplication::screens().isEmpty() ? nullptr : ViewAccess::screen(d->widget->screen());
}

void NSWindow::display()
{
    d->widget->update();
}

NSString NSWindow::title() const
{
    return NSString(d->widget->windowTitle().toStdString());
}

void NSWindow::setTitle(const NSString& title)
{
    d->widget->setWindowTitle(QString::fromStdString(title.utf8()));
}

NSWindowLevel NSWindow::level() const
{
    return d->level;
}

void NSWindow::setLevel(NSWindowLevel level)
{
    d->level = level;
    d->applyWindowFlags();
}

NSUInteger NSWindow::styleMask() const
{
    return d->styleMask;
}

void NSWindow::setStyleMask(NSUInteger styleMask)
{
    d->styleMask = styleMask;
    d->applyWindowFlags();
}

NSView* NSWindow::contentView() const
{
    return d->contentView.get();
}

void NSWindow::setContentView(NSView* view)
{
    if (view == d->contentView.get())
        return;
    d->contentView.reset(view);
    if (view != nullptr) {
        vt::appkit::ViewImpl* impl = ViewAccess::impl(view);
        impl->window = this;
        impl->widget->setParent(d->widget);
        impl->widget->show();
    }
    d->layout();
}

void NSWindow::addChildWindow(NSWindow* child, NSWindowOrderingMode)
{
    if (child == nullptr || child == this || child->d->parent == this)
        return;
    if (child->d->parent != nullptr)
        child->d->parent->removeChildWindow(child);
    d->children.push_back(child);
    child->d->parent = this;
    d->lastTopLeft = d->widget->geometry().topLeft();
    // The window manager keeps a transient window above its parent.
    child->d->widget->winId();
    d->widget->winId();
    if (QWindow* handle = child->d->widget->windowHandle())
        handle->setTransientParent(d->widget->windowHandle());
    if (isVisible())
        child->orderFront(nullptr);
}

void NSWindow::removeChildWindow(NSWindow* child)
{
    auto it = std::find(d->children.begin(), d->children.end(), child);
    if (it == d->children.end())
        return;
    d->children.erase(it);
    child->d->parent = nullptr;
    if (QWindow* handle = child->d->widget->windowHandle())
        handle->setTransientParent(nullptr);
}

std::vector<NSWindow*> NSWindow::childWindows() const
{
    return d->children;
}

NSWindow* NSWindow::parentWindow() const
{
    return d->parent;
}

bool NSWindow::isVisible() const
{
    return d->widget->isVisible();
}

void NSWindow::setIsVisible(bool visible)
{
    if (visible)
        orderFront(nullptr);
    else
        orderOut(nullptr);
}

bool NSWindow::isKeyWindow() const
{
    return QApplication::activeWindow() == d->widget;
}

void NSWindow::makeKeyWindow()
{
    if (isVisible() && canBecomeKeyWindow())
        d->widget->activateWindow();
}

void NSWindow::makeMainWindow()
{
    vt::appkit::makeMainWindow(this);
}

void NSWindow::makeKeyAndOrderFront(id)
{
    d->widget->show();
    vt::appkit::raise(d->widget);
    makeKeyWindow();
}

void NSWindow::orderFront(id)
{
    d->widget->setAttribute(Qt::WA_ShowWithoutActivating, true);
    d->widget->show();
    vt::appkit::raise(d->widget);
    d->widget->setAttribute(Qt::WA_ShowWithoutActivating, false);
}

void NSWindow::orderOut(id)
{
    d->widget->hide();
}

void NSWindow::close()
{
    orderOut(nullptr);
}

bool NSWindow::canBecomeKeyWindow() const
{
    return (d->styleMask & NSWindowStyleMaskTitled) != 0;
}

void NSWindow::keyDown(NSEvent* event)
{
    event->m_passedOn = true;
}

void NSWindow::keyUp(NSEvent* event)
{
    event->m_passedOn = true;
}

// -------------------------------------------------------------------- NSView
NSView::NSView(NSRect frame) : NSView(std::make_unique<vt::appkit::ViewImpl>(nullptr))
{
    setFrame(frame);
}

NSView::NSView(std::unique_ptr<vt::appkit::ViewImpl> impl) : d(std::move(impl))
{
    vt::appkit::ensureApplication();
    if (d->widget == nullptr)
        d->widget = new QWidget;
    d->owner = this;
}

NSView::~NSView()
{
    std::vector<NSView*> subviews = d->subviews;
    for (auto it = subviews.rbegin(); it != subviews.rend(); ++it)
        delete *it;
    if (d->superview != nullptr) {
        auto& siblings = ViewAccess::impl(d->superview)->subviews;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    delete d->widget.data();
}

void NSView::addSubview(NSView* view)
{
    if (view == nullptr || view->d->superview == this)
        return;
    if (view->d->superview != nullptr) {
        auto& siblings = ViewAccess::impl(view->d->superview)->subviews;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), view), siblings.end());
    }
    d->subviews.push_back(view);
    view->d->superview = this;
    QRect geometry = view->d->widget->geometry();
    view->d->widget->setParent(d->widget);
    view->d->widget->setGeometry(geometry);
    if (!view->d->widget->isHidden() || !view->d->widget->testAttribute(Qt::WA_WState_ExplicitShowHide))
        view->d->widget->show();
}

NSView* NSView::superview() const
{
    return d->superview;
}

NSWindow* NSView::window() const
{
    const NSView* view = this;
    while (view->d->superview != nullptr)
        view = view->d->superview;
    return view->d->window;
}

NSRect NSView::frame() const
{
    QRect g = d->widget->geometry();
    return NSMakeRect(g.x(), g.y(), g.width(), g.height());
}

void NSView::setFrame(NSRect frame)
{
    d->widget->setGeometry(static_cast<int>(std::lround(frame.origin.x)), static_cast<int>(std::lround(frame.origin.y)),
                           static_cast<int>(std::lround(frame.size.width)),
                           static_cast<int>(std::lround(frame.size.height)));
}

bool NSView::isHidden() const
{
    return d->widget->isHidden() && d->widget->testAttribute(Qt::WA_WState_ExplicitShowHide);
}

void NSView::setHidden(bool hidden)
{
    d->widget->setVisible(!hidden);
}

void NSView::setWantsLayer(bool wantsLayer)
{
    if (wantsLayer && !m_layer)
        m_layer.reset(new CALayer(this));
}

CALayer* NSView::layer()
{
    return m_layer.get();
}

unsigned long NSView::x11WindowID()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return 0;
    auto id = static_cast<unsigned long>(d->widget->winId());
    // The plug-in creates its editor through a connection of its own: the
    // window must exist on the server before the id is handed over.
    if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) {
        if (xcb_connection_t* connection = x11->connection())
            free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
    return id;
}

void CALayer::setBackgroundColor(const NSColor& color)
{
    QWidget* widget = ViewAccess::widget(m_view);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window,
                     QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                                      static_cast<float>(color.blue), static_cast<float>(color.alpha)));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// --------------------------------------------------------------------- NSBox
NSBox::NSBox(NSRect frame) : NSView(std::make_unique<vt::appkit::ViewImpl>(new QGroupBox))
{
    setFrame(frame);
}

void NSBox::setTitle(const NSString& title)
{
    static_cast<QGroupBox*>(impl()->widget.data())->setTitle(QString::fromStdString(title.utf8()));
}

NSString NSBox::title() const
{
    return NSString(static_cast<QGroupBox*>(impl()->widget.data())->title().toStdString());
}

// ------------------------------------------------------------ NSImage, view
NSImage* vt::appkit::ViewAccess::makeImage(const NSString& name, const NSString& path, NSSize size)
{
    auto* image = new NSImage;
    image->m_name = name;
    image->m_path = path;
    image->m_size = size;
    return image;
}

NSImage* NSImage::imageNamed(const NSString& name)
{
    static auto* named = new std::map<std::string, std::unique_ptr<NSImage>>;
    if (!name || name.utf8().empty())
        return nullptr;
    auto found = named->find(name.utf8());
    if (found != named->end())
        return found->second.get();
    std::string path = NSBundle::mainBundle()->resourcePath().utf8() + "/" + name.utf8();
    if (name.pathExtension().utf8().empty())
        path += ".png";
    QImageReader reader(QString::fromStdString(path));
    QSize size = reader.size();
    if (!reader.canRead() || !size.isValid())
        return nullptr;
    NSImage* image = ViewAccess::makeImage(name, NSString(path), NSMakeSize(size.width(), size.height()));
    named->emplace(name.utf8(), image);
    return image;
}

namespace vt::appkit {

struct ImageViewImpl : ViewImpl {
    ImageViewImpl() : ViewImpl(new QLabel) {}
    NSImage* image = nullptr;
};

} // namespace vt::appkit

NSImageView::NSImageView(NSRect frame) : NSView(std::make_unique<vt::appkit::ImageViewImpl>())
{
    setFrame(frame);
    static_cast<QLabel*>(impl()->widget.data())->setAlignment(Qt::AlignCenter);
}

void NSImageView::setImage(NSImage* image)
{
    auto* imageImpl = static_cast<vt::appkit::ImageViewImpl*>(impl());
    imageImpl->image = image;
    auto* label = static_cast<QLabel*>(impl()->widget.data());
    if (image == nullptr) {
        label->clear();
        return;
    }
    QPixmap pixmap(QString::fromStdString(ViewAccess::imagePath(image).utf8()));
    label->setPixmap(pixmap.scaled(label->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

NSImage* NSImageView::image() const
{
    return static_cast<vt::appkit::ImageViewImpl*>(impl())->image;
}
