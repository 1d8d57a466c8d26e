// The uninstall button's work on a scratch computer: which items go, which
// marks show, and what is never removed.
#include "InstalledProduct.h"

#include <cctype>

using namespace uninstalltest;
namespace fs = std::filesystem;

namespace {

using Uninstall = InstalledProduct;

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
