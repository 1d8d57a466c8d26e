#include "ViewController.h"

namespace {

bool isTicked(const NSButton* box)
{
    return box != nullptr && box->state() == NSControlStateValueOn;
}

// A mark is only ever shown: a later press that fails leaves it visible.
void showIf(bool gone, NSView* mark)
{
    if (gone && mark != nullptr)
        mark->setHidden(false);
}

} // namespace

void ViewController::viewDidLoad()
{
    NSViewController::viewDidLoad();

    uninstallTitleBG->setWantsLayer(true);
    uninstallTitleBG->layer()->setBackgroundColor(NSColor::whiteColor());

    if (NSImage* image = NSImage::imageNamed(kProductName))
        uninstallImage->setImage(image);

    uninstallTitle->setStringValue(NSString::stringWithFormat("Uninstall %s", kProductName));
}

void ViewController::onUninstall(id)
{
    showMarks(uninstallChosenItems(tickedItems(), _settle, _settleData));
}

void ViewController::onQuit(id)
{
    NSApp->terminate(nil);
}

void ViewController::setSettleFunction(VTSettleFunction settle, void* userData)
{
    _settle = settle;
    _settleData = userData;
}

VTUninstallChoice ViewController::tickedItems() const
{
    return {isTicked(pluginAU),  isTicked(pluginVST),  isTicked(pluginVST3),
            isTicked(pluginAAX), isTicked(standalone), isTicked(presets)};
}

void ViewController::showMarks(const VTUninstallMarks& marks)
{
    showIf(marks.pluginAUIcon, pluginAUIcon);
    showIf(marks.pluginVSTIcon, pluginVSTIcon);
    showIf(marks.pluginVST3Icon, pluginVST3Icon);
    showIf(marks.pluginAAXIcon, pluginAAXIcon);
    showIf(marks.standaloneIcon, standaloneIcon);
    showIf(marks.presetsIcon, presetsIcon);
}
