// The main window's logic that needs no window: the automatic device
// choice and where the tempo window goes.
#include "AutomaticDeviceChoice.h"
#include "Menu.h"
#include "VTAudioDevice.h"
#include "VTVSTHostRegistry.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct DeviceSpec {
    const char* name;
    bool input;
    uint32_t type;
    bool isDefault;
};

struct ChoiceCase {
    const char* label;
    std::vector<DeviceSpec> devices;
    const char* storedInput; // "" for none
    const char* input;       // "" for none
    const char* output;      // "" for none
};

void PrintTo(const ChoiceCase& c, std::ostream* out)
{
    *out << c.label;
}

class AutomaticDeviceChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(AutomaticDeviceChoice, TakesTheDefaultsOfTheCoreAudioFamiliesAndOthersOnlyWhereNothingWasChosen)
{
    const ChoiceCase& c = GetParam();
    std::vector<std::unique_ptr<VTAudioDevice>> owned;
    std::vector<VTAudioDevice*> list;
    for (const DeviceSpec& spec : c.devices) {
        auto device = std::make_unique<VTAudioDevice>();
        device->name = spec.name;
        device->isInput = spec.input;
        device->type = spec.type;
        device->isDefault = spec.isDefault;
        list.push_back(device.get());
        owned.push_back(std::move(device));
    }
    list.insert(list.begin() + 1, nullptr); // an empty entry is skipped
    VTVSTHostRegistry registry("ChoiceProbe", true);
    for (VTAudioDevice* device : list)
        if (device != nullptr && device->isInput && device->name == c.storedInput)
            registry.inputDevice = device;

    const bool chosen = chooseAutomaticDevices(registry, list);

    EXPECT_EQ(chosen, std::string(c.output) != "");
    EXPECT_EQ(registry.outputDevice != nullptr ? registry.outputDevice->name : "", c.output);
    EXPECT_EQ(registry.inputDevice != nullptr ? registry.inputDevice->name : "", c.input);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AutomaticDeviceChoice,
    ::testing::Values(
        ChoiceCase{"the system defaults",
                   {{"Mic", true, 16, false}, {"Built-in In", true, 16, true}, {"Built-in Out", false, 16, true}},
                   "",
                   "Built-in In",
                   "Built-in Out"},
        // A default input replaces the stored one.
        ChoiceCase{"a stored input and a default one",
                   {{"USB In", true, 16, false}, {"Built-in In", true, 16, true}, {"Built-in Out", false, 16, true}},
                   "USB In",
                   "Built-in In",
                   "Built-in Out"},
        // Bit 2: the first of each direction, the input only when none is set.
        ChoiceCase{"devices of the other family",
                   {{"Other In", true, 2, false}, {"Other Out", false, 2, false}, {"Second Out", false, 2, false}},
                   "",
                   "Other In",
                   "Other Out"},
        ChoiceCase{"a stored input keeps its place against the other family",
                   {{"USB In", true, 16, false}, {"Other In", true, 2, false}, {"Other Out", false, 2, false}},
                   "USB In",
                   "USB In",
                   "Other Out"},
        // A later default output still wins over an earlier bit-2 one.
        ChoiceCase{"the default output after another",
                   {{"Other Out", false, 2, false}, {"Built-in Out", false, 4, true}},
                   "",
                   "",
                   "Built-in Out"},
        ChoiceCase{"nothing the layer can run",
                   {{"Built-in In", true, 16, false}, {"Built-in Out", false, 16, false}, {"Odd", false, 8, true}},
                   "",
                   "",
                   ""}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(TempoWindowPlacement, DocksBelowTheMainWindowWhereTheScreenHasRoomElseFloatsAtLevel20)
{
    const NSRect main = NSMakeRect(100, 300, 600, 428);
    const NSSize tempo = NSMakeSize(320, 120);
    // 120 + 428 + 22 = 570 fits on 800: below the main window, its width.
    TempoWindowPlacement docked = tempoWindowPlacement(800, main, tempo, 22);
    EXPECT_TRUE(docked.docked);
    EXPECT_EQ(docked.level, NSNormalWindowLevel);
    EXPECT_EQ(docked.frame.origin.x, 100);
    EXPECT_EQ(docked.frame.origin.y, 300 - 120);
    EXPECT_EQ(docked.frame.size.width, 600);
    EXPECT_EQ(docked.frame.size.height, 120);
    // 570 does not fit on 560: its own size at (x, H - m), level 20.
    TempoWindowPlacement floating = tempoWindowPlacement(560, main, tempo, 22);
    EXPECT_FALSE(floating.docked);
    EXPECT_EQ(floating.level, 20);
    EXPECT_EQ(floating.frame.origin.x, 100);
    EXPECT_EQ(floating.frame.origin.y, 428 - 22);
    EXPECT_EQ(floating.frame.size.width, 320);
    EXPECT_EQ(floating.frame.size.height, 120);
}

} // namespace
