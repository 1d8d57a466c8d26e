// The product installed on a scratch computer: its items with their paths,
// neighbours no uninstall may touch, and how the marks read in a failure
// message.
#pragma once

#include "UninstallTestSupport.h"

#include "Uninstaller.h"

#include <map>
#include <string>
#include <vector>

namespace uninstalltest {

// An installed part of the product, or a folder the product shares.
enum class Item {
    component,
    midiFXComponent,
    vst,
    vst3,
    aax,
    standalone,
    desktopEntry,
    preferences,
    presets,
    serviceCenterFile,
    supportFolder,
    instrumentsFolder,
    applicationsMaker,
    documentsMaker,
    hiddenInApplicationsMaker,
    hiddenInDocumentsMaker
};

const std::map<Item, const char*> kItemPaths = {
    {Item::component, "{IR}/Library/Audio/Plug-Ins/Components/Kindra.component"},
    {Item::midiFXComponent, "{IR}/Library/Audio/Plug-Ins/Components/Kindra MidiFX.component"},
    {Item::vst, "{IR}/Library/Audio/Plug-Ins/VST/Kindra.vst"},
    {Item::vst3, "{IR}/Library/Audio/Plug-Ins/VST3/Kindra.vst3"},
    {Item::aax, "{IR}/Library/Application Support/Avid/Audio/Plug-Ins/Kindra.aaxplugin"},
    {Item::standalone, "{IR}/Applications/Veltrane/Kindra"},
    {Item::desktopEntry, "{H}/.local/share/applications/kindra.desktop"},
    {Item::preferences, "{H}/Library/Preferences/com.veltrane.Kindra.plist"},
    {Item::presets, "{H}/Documents/Veltrane/Kindra"},
    {Item::serviceCenterFile, "{IR}/Library/Application Support/Native Instruments/Service Center/Kindra.xml"},
    {Item::supportFolder, "{IR}/Library/Application Support/Veltrane/Kindra"},
    {Item::instrumentsFolder, "{R}/srv/Kindra Instruments/Library"},
    {Item::applicationsMaker, "{IR}/Applications/Veltrane"},
    {Item::documentsMaker, "{H}/Documents/Veltrane"},
    {Item::hiddenInApplicationsMaker, "{IR}/Applications/Veltrane/.DS_Store"},
    {Item::hiddenInDocumentsMaker, "{H}/Documents/Veltrane/.localized"},
};

// Where the stored "InstrumentsPath" points when the installer wrote one.
const char* const kInstrumentsFile = "{R}/srv/Kindra Instruments/Library/Kindra.nki";

// Neighbours of the product that no uninstall may touch.
const char* const kNeighbours[] = {
    "{IR}/Library/Audio/Plug-Ins/VST/Other.vst/Contents/MacOS/Other",
    "{IR}/Library/Application Support/Veltrane/Other/data",
    "{H}/Documents/notes.txt",
    "{H}/Library/Preferences/com.other.App.plist",
    "{H}/.local/share/applications/other.desktop",
    "{R}/srv/Kindra Instruments/keep.txt",
    "{R}/usr/bin/tool",
};

const VTUninstallChoice kAllSix{true, true, true, true, true, true};
const VTUninstallMarks kAllMarks{true, true, true, true, true, true};

inline std::string describe(const VTUninstallMarks& marks)
{
    std::string text;
    for (auto [shown, name] : {std::pair{marks.pluginAUIcon, "AU "},
                               {marks.pluginVSTIcon, "VST "},
                               {marks.pluginVST3Icon, "VST3 "},
                               {marks.pluginAAXIcon, "AAX "},
                               {marks.standaloneIcon, "standalone "},
                               {marks.presetsIcon, "presets "}}) {
        if (shown)
            text += name;
    }
    return text.empty() ? "none" : text;
}

// The one-second wait, made certain: every removal started so far ends.
inline void waitForRemovals(void*)
{
    EXPECT_TRUE(vt::testing::waitForPrivilegedTools());
}

inline void storePreference(const char* key, const std::string& value)
{
    CFStringRef cfKey = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFStringRef cfValue = CFStringCreateWithCString(nullptr, value.c_str(), kCFStringEncodingUTF8);
    CFPreferencesSetAppValue(cfKey, cfValue, CFSTR("com.veltrane.Kindra"));
    ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR("com.veltrane.Kindra")));
    CFRelease(cfKey);
    CFRelease(cfValue);
}

class InstalledProduct : public ScratchComputer {
protected:
    // Installs the items (each folder with a file inside) and the
    // neighbours; the preferences hold "contentpath", and "InstrumentsPath"
    // when one is given.
    void install(const std::vector<Item>& items, const std::string& instrumentsPath = {})
    {
        for (const char* neighbour : kNeighbours)
            writeFile(expand(neighbour));
        for (Item item : items) {
            const std::string path = expand(kItemPaths.at(item));
            if (item == Item::preferences) {
                storePreference("contentpath", expand("{H}/Documents/Veltrane/Kindra"));
                if (!instrumentsPath.empty())
                    storePreference("InstrumentsPath", instrumentsPath);
            } else if (item == Item::instrumentsFolder) {
                writeFile(expand(kInstrumentsFile));
            } else if (item == Item::applicationsMaker || item == Item::documentsMaker) {
                fs::create_directories(path);
            } else if (path.ends_with(".desktop") || path.ends_with(".xml") ||
                       item == Item::hiddenInApplicationsMaker || item == Item::hiddenInDocumentsMaker) {
                writeFile(path);
            } else {
                writeFile(path + "/Contents/Info.plist");
            }
        }
        vt::testing::forgetPreferencesInMemory();
    }

    std::vector<std::string> paths(const std::vector<Item>& items) const
    {
        std::vector<std::string> result;
        for (Item item : items)
            result.push_back(expand(kItemPaths.at(item)));
        return result;
    }

    VTUninstallMarks uninstall(const VTUninstallChoice& choice)
    {
        VTUninstallMarks marks = uninstallChosenItems(choice, waitForRemovals);
        // The two maker folders' removals start after the wait.
        EXPECT_TRUE(vt::testing::waitForPrivilegedTools());
        return marks;
    }
};

const std::vector<Item> kFullInstall = {
    Item::component, Item::midiFXComponent,   Item::vst,           Item::vst3,
    Item::aax,       Item::standalone,        Item::desktopEntry,  Item::preferences,
    Item::presets,   Item::serviceCenterFile, Item::supportFolder, Item::instrumentsFolder};

// Everything a run with all six ticked removes besides the instruments
// folder.
const std::vector<Item> kAllSixRemove = {
    Item::component,     Item::midiFXComponent,   Item::vst,           Item::vst3,    Item::aax,
    Item::standalone,    Item::desktopEntry,      Item::preferences,   Item::presets, Item::serviceCenterFile,
    Item::supportFolder, Item::applicationsMaker, Item::documentsMaker};

inline std::vector<Item> plus(std::vector<Item> items, Item more)
{
    items.push_back(more);
    return items;
}

} // namespace uninstalltest
