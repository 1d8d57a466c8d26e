// The uninstaller's one view: the title area with the product image, a
// check box per installed part with the mark shown once it is gone, and the
// uninstall and quit buttons. The window resource connects the outlets and
// actions, then calls viewDidLoad.
//
// Thread contract: main thread only.
#pragma once

#include "Uninstaller.h"

#include <AppKit/AppKit.h>

class ViewController : public NSViewController {
public:
    // --- outlets, in the interface's order (owned by the window's views)
    NSView* uninstallTitleBG = nullptr;
    NSImageView* uninstallImage = nullptr;
    NSTextField* uninstallTitle = nullptr;
    NSButton* pluginAU = nullptr;
    NSButton* pluginVST = nullptr;
    NSButton* pluginVST3 = nullptr;
    NSButton* pluginAAX = nullptr;
    NSButton* standalone = nullptr;
    NSButton* presets = nullptr;
    NSView* pluginAUIcon = nullptr;
    NSView* pluginVSTIcon = nullptr;
    NSView* pluginVST3Icon = nullptr;
    NSView* pluginAAXIcon = nullptr;
    NSView* standaloneIcon = nullptr;
    NSView* presetsIcon = nullptr;

    void viewDidLoad() override;

    // --- actions
    // The uninstall button: asks for the rights, removes the ticked items
    // and shows the mark of each one that is gone. Marks shown by an earlier
    // press stay.
    void onUninstall(id sender);
    void onQuit(id sender);

    // What runs at the one-second wait before the maker folders are tested
    // for emptiness (waitOneSecond unless changed).
    void setSettleFunction(VTSettleFunction settle, void* userData);

private:
    VTUninstallChoice tickedItems() const;
    void showMarks(const VTUninstallMarks& marks);

    VTSettleFunction _settle = waitOneSecond;
    void* _settleData = nullptr;
};
