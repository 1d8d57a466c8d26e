// The application, its run loop joined with Core Foundation's, timers,
// screens and the main menu.
#include "AppKitPrivate.h"

#include <vtplatform/RunLoop.h>

#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QTimer>
#include <QtGui/QGuiApplication>
#include <QtGui/QKeySequence>
#include <QtGui/QScreen>
#include <QtWidgets/QApplication>
#include <QtWidgets/QMenu>
#include <QtWidgets/QMenuBar>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <map>

const NSNotificationName NSApplicationDidFinishLaunchingNotification = "NSApplicationDidFinishLaunchingNotification";
const NSNotificationName NSApplicationWillBecomeActiveNotification = "NSApplicationWillBecomeActiveNotification";
const NSNotificationName NSApplicationDidBecomeActiveNotification = "NSApplicationDidBecomeActiveNotification";
const NSNotificationName NSApplicationWillTerminateNotification = "NSApplicationWillTerminateNotification";

namespace vt::appkit {

namespace {

// The arguments Qt keeps for the whole run.
int qtArgc = 1;
char qtProgramName[] = "Kindra";
char* qtDefaultArgv[] = {qtProgramName, nullptr};
char** qtArgv = qtDefaultArgv;

// How long the application must stay in the background before coming back
// counts as a new activation; moving between its own windows passes through
// a short inactive moment that is not one.
constexpr int kInactiveMilliseconds = 250;

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

} // namespace

// Holds back user input while a run-loop slice runs: the window system's
// input stays queued through ExcludeUserInputEvents, and input posted as
// events is kept here and posted again once the outermost slice ends.
class InputDeferral : public QObject {
public:
    int depth = 0;

    void release()
    {
        std::vector<std::pair<QPointer<QObject>, QEvent*>> held;
        held.swap(m_held);
        for (auto& [target, event] : held) {
            if (target != nullptr)
                QCoreApplication::postEvent(target, event);
            else
                delete event;
        }
    }

protected:
    bool eventFilter(QObject* target, QEvent* event) override
    {
        if (depth == 0 || !isUserInput(event->type()))
            return false;
        m_held.emplace_back(target, event->clone());
        return true;
    }

private:
    std::vector<std::pair<QPointer<QObject>, QEvent*>> m_held;
};

// The Qt loop as the Core Foundation main run loop.
class MainRunLoopBridge : public QObject, public vt::platform::RunLoopEventSource {
public:
    explicit MainRunLoopBridge(InputDeferral* deferral) : m_deferral(deferral)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &MainRunLoopBridge::pump);
    }

    bool runSlice(double seconds, bool returnAfterSourceHandled) override
    {
        Slice slice;
        slice.returnAfterSourceHandled = returnAfterSourceHandled;
        m_slices.push_back(&slice);
        ++m_deferral->depth;
        pump();
        if (!(returnAfterSourceHandled && slice.handled)) {
            QEventLoop loop;
            slice.loop = &loop;
            if (seconds <= 0) {
                loop.processEvents(QEventLoop::ExcludeUserInputEvents);
            } else {
                QTimer deadline;
                deadline.setSingleShot(true);
                deadline.setTimerType(Qt::PreciseTimer);
                connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
                deadline.start(static_cast<int>(std::ceil(seconds * 1000.0)));
                loop.exec(QEventLoop::ExcludeUserInputEvents);
            }
            slice.loop = nullptr;
        }
        m_slices.pop_back();
        if (--m_deferral->depth == 0)
            m_deferral->release();
        return slice.handled;
    }

    void wake() override
    {
        if (!m_pumpQueued.exchange(true))
            QMetaObject::invokeMethod(this, &MainRunLoopBridge::pump, Qt::QueuedConnection);
    }

    void pump()
    {
        m_pumpQueued = false;
        bool handled = vt::platform::runMainRunLoopSources();
        if (handled && !m_slices.empty()) {
            Slice* slice = m_slices.back();
            slice->handled = true;
            if (slice->returnAfterSourceHandled && slice->loop != nullptr)
                slice->loop->quit();
        }
        double next = vt::platform::secondsUntilNextMainRunLoopTimer();
        if (next < 0)
            m_timer.stop();
        else
            m_timer.start(static_cast<int>(std::ceil(next * 1000.0)));
    }

private:
    struct Slice {
        bool returnAfterSourceHandled = false;
        bool handled = false;
        QEventLoop* loop = nullptr;
    };
    InputDeferral* m_deferral;
    QTimer m_timer;
    std::vector<Slice*> m_slices;
    std::atomic<bool> m_pumpQueued{false};
};

struct ApplicationImpl {
    NSApplication* owner = nullptr;
    QApplication* qt = nullptr; // lives for the whole process
    InputDeferral deferral;
    std::unique_ptr<MainRunLoopBridge> bridge;
    NSApplicationDelegate* delegate = nullptr;
    NSMenu* mainMenu = nullptr;
    NSWindow* mainWindow = nullptr;
    std::vector<NSWindow*> windows;
    bool running = false;
    bool terminating = false;
    bool active = false;
    QTimer inactivity;
    std::map<QScreen*, std::unique_ptr<NSScreen>> screens;

    void becomeActive()
    {
        inactivity.stop();
        if (active)
            return;
        active = true;
        NSNotificationCenter::defaultCenter()->postNotificationName(NSApplicationWillBecomeActiveNotification, owner);
        NSNotification did(NSApplicationDidBecomeActiveNotification, owner);
        if (delegate != nullptr)
            delegate->applicationDidBecomeActive(&did);
        NSNotificationCenter::defaultCenter()->postNotificationName(NSApplicationDidBecomeActiveNotification, owner);
    }

    void installMainMenuBar();
    void addMenuShortcuts(QWidget* window);
};

namespace {

void collectActions(const NSMenu* menu, QList<QAction*>& actions)
{
    for (const auto& item : ViewAccess::impl(menu)->items) {
        MenuItemImpl* itemImpl = ViewAccess::impl(item.get());
        actions.append(itemImpl->action);
        if (itemImpl->submenu)
            collectActions(itemImpl->submenu.get(), actions);
    }
}

} // namespace

void ApplicationImpl::addMenuShortcuts(QWidget* window)
{
    if (mainMenu == nullptr)
        return;
    QList<QAction*> actions;
    collectActions(mainMenu, actions);
    window->addActions(actions);
}

void ApplicationImpl::installMainMenuBar()
{
    for (NSWindow* window : windows) {
        WindowImpl* w = ViewAccess::impl(window);
        delete w->menuBar;
        w->menuBar = nullptr;
    }
    if (mainMenu != nullptr && mainWindow != nullptr) {
        WindowImpl* w = ViewAccess::impl(mainWindow);
        w->menuBar = new QMenuBar(w->widget);
        for (const auto& item : ViewAccess::impl(mainMenu)->items) {
            MenuItemImpl* itemImpl = ViewAccess::impl(item.get());
            if (itemImpl->submenu)
                w->menuBar->addMenu(ViewAccess::impl(itemImpl->submenu.get())->menu);
            else
                w->menuBar->addAction(itemImpl->action);
        }
        w->menuBar->show();
        w->layout();
    }
}

ModalScope::ModalScope()
{
    auto& deferral = ViewAccess::app()->deferral;
    m_savedDepth = deferral.depth;
    deferral.depth = 0;
}

ModalScope::~ModalScope()
{
    ViewAccess::app()->deferral.depth = m_savedDepth;
}

void ensureApplication()
{
    NSApplication::sharedApplication();
}

QWidget* ViewAccess::widget(const NSWindow* window)
{
    return window->d->widget;
}

NSScreen* ViewAccess::screen(QScreen* qtScreen)
{
    if (qtScreen == nullptr)
        return nullptr;
    auto& screens = app()->screens;
    auto& entry = screens[qtScreen];
    if (!entry)
        entry.reset(new NSScreen(qtScreen));
    return entry.get();
}

// The window list the application keeps for its key and main windows.
void registerWindow(NSWindow* window, bool add)
{
    ApplicationImpl* app = ViewAccess::app();
    auto& list = app->windows;
    if (add) {
        list.push_back(window);
        app->addMenuShortcuts(ViewAccess::widget(window));
        return;
    }
    list.erase(std::remove(list.begin(), list.end(), window), list.end());
    if (app->mainWindow == window)
        app->mainWindow = nullptr;
}

void makeMainWindow(NSWindow* window)
{
    ApplicationImpl* app = ViewAccess::app();
    if (app->mainWindow == window)
        return;
    app->mainWindow = window;
    app->installMainMenuBar();
}

bool anyWindowVisible()
{
    for (NSWindow* window : ViewAccess::app()->windows)
        if (window->isVisible())
            return true;
    return false;
}

} // namespace vt::appkit

using vt::appkit::ViewAccess;

// ------------------------------------------------------------- NSApplication
NSApplication::NSApplication() : d(std::make_unique<vt::appkit::ApplicationImpl>())
{
    d->owner = this;
    // Real use runs on X11 (or XWayland): plug-in editors embed into X11
    // windows only.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    // A native plug-in view must not turn its siblings native.
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    if (QApplication* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        d->qt = existing;
    else
        d->qt = new QApplication(vt::appkit::qtArgc, vt::appkit::qtArgv);
    d->qt->setQuitOnLastWindowClosed(false);
    d->qt->installEventFilter(&d->deferral);
    d->bridge = std::make_unique<vt::appkit::MainRunLoopBridge>(&d->deferral);
    vt::platform::setRunLoopEventSource(d->bridge.get());

    d->inactivity.setSingleShot(true);
    d->inactivity.setInterval(vt::appkit::kInactiveMilliseconds);
    QObject::connect(&d->inactivity, &QTimer::timeout, [impl = d.get()] { impl->active = false; });
    QObject::connect(d->qt, &QGuiApplication::applicationStateChanged, [impl = d.get()](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            impl->becomeActive();
        else if (impl->active && !impl->inactivity.isActive())
            impl->inactivity.start();
    });
    vt::platform::setNoticePresenter(
        [](const vt::platform::Notice& notice, void*) -> CFOptionFlags {
            vt::appkit::ModalScope modal;
            return vt::appkit::presenter().presentNotice(notice);
        },
        nullptr);
}

NSApplication::~NSApplication()
{
    vt::platform::setNoticePresenter(nullptr, nullptr);
    vt::platform::setRunLoopEventSource(nullptr);
}

NSApplication* NSApplication::sharedApplication()
{
    // Never destroyed: Qt's objects must outlive every window, and the
    // process ends with them.
    static NSApplication* application = new NSApplication;
    return application;
}

void NSApplication::setDelegate(NSApplicationDelegate* delegate)
{
    d->delegate = delegate;
}

NSApplicationDelegate* NSApplication::delegate() const
{
    return d->delegate;
}

void NSApplication::run()
{
    if (d->terminating || d->running)
        return;
    d->running = true;
    // A launched application comes to the front.
    QTimer::singleShot(0, d->qt, [impl = d.get()] { impl->becomeActive(); });
    d->qt->exec();
    d->running = false;
}

bool NSApplication::isRunning() const
{
    return d->running;
}

bool NSApplication::isActive() const
{
    return d->active;
}

void NSApplication::terminate(id)
{
    if (d->terminating)
        return;
    d->terminating = true;
    NSNotification notification(NSApplicationWillTerminateNotification, this);
    if (d->delegate != nullptr)
        d->delegate->applicationWillTerminate(&notification);
    NSNotificationCenter::defaultCenter()->postNotificationName(NSApplicationWillTerminateNotification, this);
    if (d->running)
        QCoreApplication::exit(0);
}

void NSApplication::setMainMenu(NSMenu* menu)
{
    d->mainMenu = menu;
    for (NSWindow* window : d->windows)
        d->addMenuShortcuts(ViewAccess::widget(window));
    d->installMainMenuBar();
}

NSMenu* NSApplication::mainMenu() const
{
    return d->mainMenu;
}

NSWindow* NSApplication::mainWindow() const
{
    return d->mainWindow != nullptr && d->mainWindow->isVisible() ? d->mainWindow : nullptr;
}

NSWindow* NSApplication::keyWindow() const
{
    for (NSWindow* window : d->windows)
        if (window->isKeyWindow())
            return window;
    return nullptr;
}

int NSApplicationMain(int argc, char* argv[], void (*loadMainInterface)())
{
    if (argc > 0 && argv != nullptr) {
        vt::appkit::qtArgc = argc;
        vt::appkit::qtArgv = argv;
    }
    NSApplication* app = NSApplication::sharedApplication();
    if (loadMainInterface != nullptr)
        loadMainInterface();
    NSNotification launched(NSApplicationDidFinishLaunchingNotification, app);
    if (app->delegate() != nullptr)
        app->delegate()->applicationDidFinishLaunching(&launched);
    NSNotificationCenter::defaultCenter()->postNotificationName(NSApplicationDidFinishLaunchingNotification, app);
    app->run();
    return 0;
}

// ------------------------------------------------------------------ NSScreen
NSScreen* NSScreen::mainScreen()
{
    vt::appkit::ensureApplication();
    return ViewAccess::screen(QGuiApplication::primaryScreen());
}

NSRect NSScreen::frame() const
{
    auto* qtScreen = static_cast<QScreen*>(const_cast<void*>(m_screen));
    QRect geometry = qtScreen->geometry();
    QScreen* primary = QGuiApplication::primaryScreen();
    int mainHeight = primary != nullptr ? primary->geometry().height() : 0;
    // AppKit counts y upwards from the main screen's bottom.
    return NSMakeRect(geometry.x(), mainHeight - (geometry.y() + geometry.height()), geometry.width(),
                      geometry.height());
}

// ------------------------------------------------------------------- NSTimer
namespace vt::appkit {

struct TimerImpl {
    QTimer timer;
    std::function<void(NSTimer*)> fire;
    bool valid = true;
};

} // namespace vt::appkit

NSTimer::NSTimer() : d(std::make_unique<vt::appkit::TimerImpl>()) {}

NSTimer::~NSTimer()
{
    invalidate();
}

std::unique_ptr<NSTimer> NSTimer::schedule(NSTimeInterval interval, std::function<void(NSTimer*)> fire, bool repeats)
{
    vt::appkit::ensureApplication();
    std::unique_ptr<NSTimer> timer(new NSTimer);
    vt::appkit::TimerImpl* impl = timer->d.get();
    impl->fire = std::move(fire);
    // macOS takes 0.1 ms as the shortest interval.
    int milliseconds = static_cast<int>(std::lround(std::max(interval, 0.0001) * 1000.0));
    impl->timer.setInterval(milliseconds);
    impl->timer.setSingleShot(!repeats);
    impl->timer.setTimerType(milliseconds < 100 ? Qt::PreciseTimer : Qt::CoarseTimer);
    NSTimer* self = timer.get();
    QObject::connect(&impl->timer, &QTimer::timeout, [self, impl] {
        if (impl->timer.isSingleShot())
            impl->valid = false;
        impl->fire(self);
    });
    impl->timer.start();
    return timer;
}

void NSTimer::invalidate()
{
    d->valid = false;
    d->timer.stop();
}

bool NSTimer::isValid() const
{
    return d->valid;
}

NSTimeInterval NSTimer::timeInterval() const
{
    return d->timer.interval() / 1000.0;
}

// --------------------------------------------------------------------- menus
NSMenuItem::NSMenuItem(const NSString& title, const NSString& keyEquivalent)
    : d(std::make_unique<vt::appkit::MenuItemImpl>())
{
    vt::appkit::ensureApplication();
    d->action = new QAction(QString::fromStdString(title.utf8()));
    d->action->setShortcutContext(Qt::ApplicationShortcut);
    const std::string& key = keyEquivalent.utf8();
    if (!key.empty()) {
        QString text = QString::fromStdString(key);
        bool shifted = text.size() == 1 && text[0].isUpper();
        d->action->setShortcut(
            QKeySequence((shifted ? QStringLiteral("Ctrl+Shift+") : QStringLiteral("Ctrl+")) + text.toUpper()));
    }
    QObject::connect(d->action, &QAction::triggered, [this] {
        if (d->call)
            d->call(this);
    });
}

NSMenuItem* NSMenuItem::separatorItem()
{
    auto* item = new NSMenuItem("", "");
    item->d->action->setSeparator(true);
    return item;
}

NSMenuItem::~NSMenuItem()
{
    d->submenu.reset();
    delete d->action;
}

NSString NSMenuItem::title() const
{
    return NSString(d->action->text().toStdString());
}

bool NSMenuItem::isEnabled() const
{
    return d->action->isEnabled();
}

void NSMenuItem::setEnabled(bool enabled)
{
    d->action->setEnabled(enabled);
}

void NSMenuItem::setAction(std::function<void(id)> action)
{
    d->call = std::move(action);
}

void NSMenuItem::setSubmenu(NSMenu* submenu)
{
    d->submenu.reset(submenu);
    d->action->setMenu(submenu != nullptr ? ViewAccess::impl(submenu)->menu : nullptr);
}

NSMenu* NSMenuItem::submenu() const
{
    return d->submenu.get();
}

NSMenu::NSMenu(const NSString& title) : d(std::make_unique<vt::appkit::MenuImpl>())
{
    vt::appkit::ensureApplication();
    d->title = title;
    d->menu = new QMenu(QString::fromStdString(title.utf8()));
}

NSMenu::~NSMenu()
{
    vt::appkit::ApplicationImpl* app = ViewAccess::app();
    if (app->mainMenu == this) {
        app->mainMenu = nullptr;
        app->installMainMenuBar();
    }
    d->items.clear();
    delete d->menu;
}

NSString NSMenu::title() const
{
    return d->title;
}

void NSMenu::addItem(NSMenuItem* item)
{
    d->items.emplace_back(item);
    d->menu->addAction(ViewAccess::impl(item)->action);
    // Key equivalents of items added later work in every window too.
    vt::appkit::ApplicationImpl* app = ViewAccess::app();
    if (app->mainMenu != nullptr)
        for (NSWindow* window : app->windows)
            app->addMenuShortcuts(ViewAccess::widget(window));
}

NSInteger NSMenu::numberOfItems() const
{
    return static_cast<NSInteger>(d->items.size());
}

NSMenuItem* NSMenu::itemAtIndex(NSInteger index) const
{
    return index >= 0 && index < numberOfItems() ? d->items[static_cast<size_t>(index)].get() : nullptr;
}

CGFloat NSMenu::menuBarHeight() const
{
    vt::appkit::ApplicationImpl* app = ViewAccess::app();
    if (app->mainMenu != this || app->mainWindow == nullptr)
        return 0;
    QMenuBar* bar = ViewAccess::impl(app->mainWindow)->menuBar;
    return bar == nullptr ? 0 : bar->sizeHint().height();
}
