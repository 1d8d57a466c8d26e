// The uninstall button's work on a scratch computer: which items go, which
// marks show, and what is never removed.
#include "UninstallTestSupport.h"

#include "Uninstaller.h"

#include <cctype>
#include <map>

using uninstalltest::ScratchComputer;
namespace fs = std::filesystem;

namespace {

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

std::string describe(const VTUninstallMarks& marks)
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
void waitForRemovals(void*)
{
    EXPECT_TRUE(vt::testing::waitForPrivilegedTools());
}

void storePreference(const char* key, const std::string& value)
{
    CFStringRef cfKey = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFStringRef cfValue = CFStringCreateWithCString(nullptr, value.c_str(), kCFStringEncodingUTF8);
    CFPreferencesSetAppValue(cfKey, cfValue, CFSTR("com.veltrane.Kindra"));
    ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR("com.veltrane.Kindra")));
    CFRelease(cfKey);
    CFRelease(cfValue);
}

class Uninstall : public ScratchComputer {
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

std::vector<Item> plus(std::vector<Item> items, Item more)
{
    items.push_back(more);
    return items;
}

// ------------------------------------------------------------ edge cases

struct ChoiceCase {
    const char* label;
    VTUninstallChoice choice;
    std::vector<Item> installed;
    bool storesInstrumentsPath;
    std::vector<Item> removed;
    VTUninstallMarks marks;
    bool reloadsPreferences;
};

void PrintTo(const ChoiceCase& value, std::ostream* out)
{
    *out << value.label;
}

class UninstallChoice : public Uninstall, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(UninstallChoice, RemovesExactlyTheChosenItemsAndShowsTheirMarks)
{
    const ChoiceCase& c = GetParam();
    install(c.installed, c.storesInstrumentsPath ? expand(kInstrumentsFile) : std::string());
    const auto before = snapshot();

    VTUninstallMarks marks = uninstall(c.choice);

    EXPECT_EQ(describe(marks), describe(c.marks));
    EXPECT_EQ(snapshot(), without(before, paths(c.removed)));
    EXPECT_EQ(killallCalls(), c.reloadsPreferences ? "-9 cfprefsd\n" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UninstallChoice,
    ::testing::Values(
        // The presets folder empties ~/Documents/Veltrane, so it goes too;
        // /Applications/Veltrane still holds the application.
        ChoiceCase{"only presets",
                   {.presets = true},
                   kFullInstall,
                   true,
                   {Item::presets, Item::serviceCenterFile, Item::supportFolder, Item::documentsMaker},
                   {.presetsIcon = true},
                   false},
        ChoiceCase{"all six with InstrumentsPath", kAllSix, kFullInstall, true,
                   plus(kAllSixRemove, Item::instrumentsFolder), kAllMarks, true},
        ChoiceCase{"all six without InstrumentsPath", kAllSix, kFullInstall, false, kAllSixRemove, kAllMarks, true},
        // The missing main component counts as removed.
        ChoiceCase{"only the MIDI-effect component installed",
                   {.pluginAU = true},
                   {Item::midiFXComponent, Item::serviceCenterFile, Item::supportFolder},
                   false,
                   {Item::midiFXComponent, Item::serviceCenterFile, Item::supportFolder},
                   {.pluginAUIcon = true},
                   false},
        ChoiceCase{"maker folders with only hidden files",
                   {},
                   {Item::hiddenInApplicationsMaker, Item::hiddenInDocumentsMaker},
                   false,
                   {Item::applicationsMaker, Item::documentsMaker},
                   {},
                   false}),
    [](const auto& info) {
        std::string name;
        for (const char* c = info.param.label; *c; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

// ------------------------------------------------- refused authorization

TEST_F(Uninstall, ARefusedOrDismissedPromptRemovesNothingAndShowsNoMark)
{
    install(kFullInstall, expand(kInstrumentsFile));
    const auto before = snapshot();
    // pkexec's exit codes for a dismissed and a refused prompt.
    for (const char* exit : {"exit 126", "exit 127"}) {
        SCOPED_TRACE(exit);
        useHelper({"/bin/sh", "-c", exit});
        EXPECT_EQ(describe(uninstall(kAllSix)), "none");
        EXPECT_EQ(snapshot(), before);
        EXPECT_EQ(killallCalls(), "");
    }
}

// --------------------------------------------- dangerous InstrumentsPath

struct InstrumentsPathCase {
    const char* label;
    const char* stored; // "InstrumentsPath"; created as a file unless `missing`
    bool missing;
};

void PrintTo(const InstrumentsPathCase& value, std::ostream* out)
{
    *out << value.label;
}

class UninstallStoredInstrumentsPath : public Uninstall, public ::testing::WithParamInterface<InstrumentsPathCase> {};

TEST_P(UninstallStoredInstrumentsPath, NeverRemovesAProtectedFolderAndDoesTheRest)
{
    // Links that lead into protected folders from an ordinary one.
    makeLink(expand("{R}/srv/homes"), expand("{R}/home/staff"));
    makeLink(expand("{R}/srv/everything"), m_r);
    std::string stored = expand(GetParam().stored);
    if (!GetParam().missing)
        writeFile(stored);
    install(kFullInstall, stored);
    const auto before = snapshot();

    EXPECT_EQ(describe(uninstall(kAllSix)), describe(kAllMarks));

    // Everything else goes as usual; the folder that holds the stored path
    // stays with all it holds.
    EXPECT_EQ(snapshot(), without(before, paths(kAllSixRemove)));
}

// A folder name that makes the folder holding "x" 255 bytes or longer.
const std::string kLongName(250, 'n');
const std::string kLongStored = "{R}/srv/" + kLongName + "/x";

INSTANTIATE_TEST_SUITE_P(
    Cases, UninstallStoredInstrumentsPath,
    ::testing::Values(InstrumentsPathCase{"in the home folder", "{H}/x", false},
                      InstrumentsPathCase{"above the home folder", "{R}/home/staff/x", false},
                      // The folder would be the user's Documents with all it holds.
                      InstrumentsPathCase{"in a folder directly in the home folder", "{H}/Documents/x", false},
                      InstrumentsPathCase{"in the root", "{R}/x", false},
                      InstrumentsPathCase{"in a top-level folder", "{R}/usr/x", false},
                      InstrumentsPathCase{"in the install root", "{IR}/x", false},
                      InstrumentsPathCase{"in a top-level folder of the install root", "{IR}/Library/x", false},
                      InstrumentsPathCase{"in the home folder through a link", "{R}/srv/homes/alex/x", false},
                      InstrumentsPathCase{"in a top-level folder through a link", "{R}/srv/everything/usr/x", false},
                      InstrumentsPathCase{"no longer there", "{R}/srv/Kindra Instruments/Library/gone.nki", true},
                      InstrumentsPathCase{"in a folder too long for the buffer", kLongStored.c_str(), false}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// ------------------------------------------------------- cut by a buffer

TEST_F(Uninstall, APathCutByItsBufferIsNeverUsedAndItsMarkStaysHidden)
{
    // A home folder that makes "<home>/Documents/Veltrane" exactly 255
    // bytes: the presets path "<home>/Documents/Veltrane/Kindra" is cut to
    // that folder, which must not go, and the maker folder path itself is
    // too long to be used.
    const size_t homeLength = 255 - std::string("/Documents/Veltrane").size();
    std::string home = m_r + "/home/";
    home += std::string(homeLength - home.size(), 'h');
    ASSERT_EQ(home.size(), homeLength);
    useHome(home);
    install({Item::presets, Item::serviceCenterFile, Item::supportFolder});
    writeFile(expand("{H}/Documents/Veltrane/Other/keep"));
    const auto before = snapshot();

    EXPECT_EQ(describe(uninstall({.presets = true})), "none");
    EXPECT_EQ(snapshot(), without(before, paths({Item::serviceCenterFile, Item::supportFolder})));
}

} // namespace
