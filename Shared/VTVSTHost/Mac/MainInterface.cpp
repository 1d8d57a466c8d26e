#include "MainInterface.h"

namespace {

std::unique_ptr<MainInterface>& processInterface()
{
    static std::unique_ptr<MainInterface> interface;
    return interface;
}

// A submenu of the main menu with its title.
NSMenu* addSubmenu(NSMenu* bar, const NSString& title)
{
    auto* holder = new NSMenuItem(title, "");
    auto* submenu = new NSMenu(title);
    holder->setSubmenu(submenu);
    bar->addItem(holder);
    return submenu;
}

template <class T, class Action>
NSMenuItem* addItem(NSMenu* menu, const NSString& title, const NSString& keyEquivalent, T* target, Action action)
{
    auto* item = new NSMenuItem(title, keyEquivalent);
    item->setTarget(target, action);
    menu->addItem(item);
    return item;
}

} // namespace

MainInterface::MainInterface()
{
    NSString name = NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleName");
    if (!name)
        name = "Kindra";

    // --- the main window and the view the plug-in's editor opens into; the
    // window sizes itself from the editor
    m_window = std::make_unique<PluginWindow>(
        NSMakeRect(0, 0, PluginWindow::kEditorWidthWithoutDisplay,
                   PluginWindow::kEditorHeightWithoutDisplay + PluginWindow::kWindowChromeHeight));
    PluginWindow* window = m_window.get();
    auto* pluginView = new NSView(
        NSMakeRect(0, 0, PluginWindow::kEditorWidthWithoutDisplay, PluginWindow::kEditorHeightWithoutDisplay));
    // Dark behind the editor, so the part of the window it leaves free
    // does not glare around it.
    pluginView->setWantsLayer(true);
    pluginView->layer()->setBackgroundColor(NSColor::colorWithRed(0.13, 0.14, 0.16, 1.0));
    window->setContentView(pluginView);
    window->_pluginView = pluginView;

    // --- the main menu
    m_menu = std::make_unique<Menu>("Main Menu");
    Menu* menu = m_menu.get();
    NSMenu* application = addSubmenu(menu, name);
    aboutItem = addItem(application, NSString::stringWithFormat("About %@", name), "", menu, &Menu::openAbout);
    application->addItem(NSMenuItem::separatorItem());
    preferencesItem = addItem(application, "Preferences…", ",", menu, &Menu::openPreferences);
    application->addItem(NSMenuItem::separatorItem());
    quitItem = addItem(application, NSString::stringWithFormat("Quit %@", name), "q", NSApp, &NSApplication::terminate);

    NSMenu* file = addSubmenu(menu, "File");
    bounceItem = addItem(file, "Bounce…", "b", window, &PluginWindow::bounce);
    bounceItem->setEnabled(PluginWindow::canBounce());

    NSMenu* edit = addSubmenu(menu, "Edit");
    undoItem = addItem(edit, "Undo", "z", window, &PluginWindow::undo);
    redoItem = addItem(edit, "Redo", "Z", window, &PluginWindow::redo);

    NSMenu* windows = addSubmenu(menu, "Window");
    tempoItem = addItem(windows, "Tempo", "t", menu, &Menu::openTempo);
    playerRecorderItem = addItem(windows, "Player/Recorder", "p", menu, &Menu::openPlayerRecorder);

    NSMenu* help = addSubmenu(menu, "Help");
    helpItem = addItem(help, NSString::stringWithFormat("%@ Help", name), "", menu, &Menu::openHelp);
    updatesItem = addItem(help, "Check for Updates…", "", menu, &Menu::checkForUpdates);

    // --- the auxiliary windows, hidden until the menu or the start-up opens
    // them
    m_preferences = loadPreferencesWindow();
    m_tempo = loadTempoWindow();
    m_playerRecorderWindow = loadPlayerRecorderWindow();

    // --- outlets
    menu->_pluginWindow = window;
    menu->_preferencesWindow = m_preferences.get();
    menu->_tempoWindow = m_tempo.get();
    menu->_playerRecorder = m_playerRecorderWindow.get();
    window->_preferencesWindow = m_preferences.get();
    window->_tempoWindow = m_tempo.get();
    window->_playerRecorderWindow = m_playerRecorderWindow.get();
    m_delegate.window = window;

    // --- load: the window's start-up, then the application's menu and window
    menu->awakeFromNib();
    window->awakeFromNib();
    NSApp->setDelegate(&m_delegate);
    NSApp->setMainMenu(menu);
    window->makeMainWindow();
    if (window->getHostLib()->m_plugin != nullptr)
        window->makeKeyAndOrderFront(nil);
}

MainInterface::~MainInterface()
{
    if (NSApp->delegate() == &m_delegate)
        NSApp->setDelegate(nullptr);
    if (NSApp->mainMenu() == m_menu.get())
        NSApp->setMainMenu(nullptr);
}

void loadMainInterface()
{
    processInterface() = std::make_unique<MainInterface>();
}

void unloadMainInterface()
{
    processInterface().reset();
}
