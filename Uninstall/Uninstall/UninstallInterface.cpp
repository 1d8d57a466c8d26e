#include "UninstallInterface.h"

namespace {

// The layout, in points from the window's top left.
constexpr CGFloat kWindowWidth = 460;
constexpr CGFloat kTitleAreaHeight = 96;
constexpr CGFloat kItemsTop = 116;
constexpr CGFloat kItemPitch = 34;
constexpr CGFloat kItemCount = 6;
constexpr CGFloat kButtonsTop = kItemsTop + kItemCount * kItemPitch + 18;
constexpr CGFloat kButtonWidth = 110;
constexpr CGFloat kButtonHeight = 32;
constexpr CGFloat kWindowHeight = kButtonsTop + kButtonHeight + 20;

std::unique_ptr<UninstallInterface>& processInterface()
{
    static std::unique_ptr<UninstallInterface> interface;
    return interface;
}

} // namespace

UninstallInterface::UninstallInterface()
{
    m_window = std::make_unique<NSWindow>(NSMakeRect(0, 0, kWindowWidth, kWindowHeight),
                                          NSWindowStyleMaskTitled | NSWindowStyleMaskClosable |
                                              NSWindowStyleMaskMiniaturizable);
    NSString name = NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleName");
    m_window->setTitle(name ? name : NSString("Uninstall"));
    auto* content = new NSView(NSMakeRect(0, 0, kWindowWidth, kWindowHeight));
    m_window->setContentView(content);
    m_viewController.setView(content);
    ViewController& vc = m_viewController;

    // --- the title area: the product image and the title
    vc.uninstallTitleBG = new NSView(NSMakeRect(0, 0, kWindowWidth, kTitleAreaHeight));
    content->addSubview(vc.uninstallTitleBG);
    vc.uninstallImage = new NSImageView(NSMakeRect(24, 16, 64, 64));
    vc.uninstallTitleBG->addSubview(vc.uninstallImage);
    vc.uninstallTitle = new NSTextField(NSMakeRect(108, 32, kWindowWidth - 132, 32));
    vc.uninstallTitle->setEditable(false);
    vc.uninstallTitleBG->addSubview(vc.uninstallTitle);

    // --- one check box per installed part, each with its removal mark.
    // The product's own parts start ticked; the presets, which hold the
    // user's own sounds, only when the user asks.
    struct Row {
        NSButton** box;
        NSView** mark;
        const char* title;
        bool ticked;
    };
    const Row rows[] = {
        {&vc.pluginAU, &vc.pluginAUIcon, "Audio Unit plug-ins", true},
        {&vc.pluginVST, &vc.pluginVSTIcon, "VST plug-in", true},
        {&vc.pluginVST3, &vc.pluginVST3Icon, "VST3 plug-in", true},
        {&vc.pluginAAX, &vc.pluginAAXIcon, "AAX plug-in", true},
        {&vc.standalone, &vc.standaloneIcon, "Standalone application", true},
        {&vc.presets, &vc.presetsIcon, "Presets", false},
    };
    NSImage* removed = NSImage::imageNamed("Removed");
    CGFloat top = kItemsTop;
    for (const Row& row : rows) {
        auto* box = new NSButton(NSMakeRect(48, top, 300, 24), NSButtonTypeSwitch);
        box->setTitle(row.title);
        box->setState(row.ticked ? NSControlStateValueOn : NSControlStateValueOff);
        content->addSubview(box);
        *row.box = box;
        auto* mark = new NSImageView(NSMakeRect(372, top + 2, 20, 20));
        mark->setImage(removed);
        mark->setHidden(true);
        content->addSubview(mark);
        *row.mark = mark;
        top += kItemPitch;
    }

    // --- the buttons, the default one at the right
    quitButton =
        new NSButton(NSMakeRect(kWindowWidth - 2 * kButtonWidth - 36, kButtonsTop, kButtonWidth, kButtonHeight),
                     NSButtonTypeMomentaryPushIn);
    quitButton->setTitle("Quit");
    quitButton->setTarget(&vc, &ViewController::onQuit);
    content->addSubview(quitButton);
    uninstallButton =
        new NSButton(NSMakeRect(kWindowWidth - kButtonWidth - 24, kButtonsTop, kButtonWidth, kButtonHeight),
                     NSButtonTypeMomentaryPushIn);
    uninstallButton->setTitle("Uninstall");
    uninstallButton->setTarget(&vc, &ViewController::onUninstall);
    content->addSubview(uninstallButton);

    // --- load the view, then the application
    vc.viewDidLoad();
    NSApp->setDelegate(&m_delegate);
    m_window->center();
    m_window->makeMainWindow();
    m_window->makeKeyAndOrderFront(nil);
}

UninstallInterface::~UninstallInterface()
{
    if (NSApp->delegate() == &m_delegate)
        NSApp->setDelegate(nullptr);
}

void loadUninstallInterface()
{
    processInterface() = std::make_unique<UninstallInterface>();
}

void unloadUninstallInterface()
{
    processInterface().reset();
}
