// Controls as the window classes use them, driven by the scripted user.
#include <AppKit/AppKit.h>

#include "VTScriptedUser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct ActionLog : NSObject {
    std::vector<id> senders;
    void action(id sender) { senders.push_back(sender); }
};

// A window with one control, the way a window resource builds it.
template <class Control> struct OneControl {
    NSWindow window{NSMakeRect(0, 0, 400, 300)};
    Control* control;
    explicit OneControl(Control* c) : control(c)
    {
        window.contentView()->addSubview(control);
        window.makeKeyAndOrderFront(nil);
    }
};

} // namespace

TEST(PopUpButton, KeepsNoSelectionAfterRemoveAllAndSelectsAmongTheNewItems)
{
    vt::testing::ScriptedUser user;
    OneControl<NSPopUpButton> ui(new NSPopUpButton(NSMakeRect(10, 10, 200, 26)));
    NSPopUpButton* popUp = ui.control;
    ActionLog log;
    popUp->setTarget(&log, &ActionLog::action);
    for (const char* title : {"Built-in Output", "USB Audio", "HDMI"})
        popUp->addItemWithTitle(title);
    popUp->selectItemAtIndex(2);
    EXPECT_EQ(popUp->titleOfSelectedItem(), NSString("HDMI"));

    popUp->removeAllItems();
    EXPECT_EQ(popUp->numberOfItems(), 0);
    EXPECT_EQ(popUp->indexOfSelectedItem(), -1);
    EXPECT_TRUE(popUp->titleOfSelectedItem().isNil());

    popUp->addItemWithTitle("Left 1");
    popUp->addItemWithTitle("Right 2");
    popUp->selectItemAtIndex(5); // no such item: nothing selected
    EXPECT_EQ(popUp->indexOfSelectedItem(), -1);
    EXPECT_TRUE(log.senders.empty()); // code never sends the action

    EXPECT_TRUE(user.choose(popUp, 1));
    EXPECT_EQ(popUp->indexOfSelectedItem(), 1);
    EXPECT_EQ(log.senders, std::vector<id>{popUp});
    popUp->setEnabled(false);
    EXPECT_FALSE(user.choose(popUp, 0));
    EXPECT_EQ(popUp->indexOfSelectedItem(), 1);
}

TEST(Button, ASwitchFlipsItsStateBeforeTheActionAndADisabledOneCannotBeClicked)
{
    vt::testing::ScriptedUser user;
    OneControl<NSButton> ui(new NSButton(NSMakeRect(10, 10, 200, 22), NSButtonTypeSwitch));
    NSButton* check = ui.control;
    std::vector<NSControlStateValue> statesSeen;
    struct Observer : NSObject {
        std::vector<NSControlStateValue>* seen;
        void action(id sender) { seen->push_back(static_cast<NSButton*>(sender)->state()); }
    } observer;
    observer.seen = &statesSeen;
    check->setTarget(&observer, &Observer::action);
    EXPECT_EQ(check->state(), NSControlStateValueOff);

    EXPECT_TRUE(user.click(check));
    EXPECT_TRUE(user.click(check));
    EXPECT_EQ(statesSeen, (std::vector<NSControlStateValue>{1, 0}));
    check->setState(NSControlStateValueOn);
    EXPECT_EQ(check->state(), NSControlStateValueOn);

    check->setEnabled(false);
    EXPECT_FALSE(user.click(check));
    EXPECT_EQ(statesSeen.size(), 2u);

    // A push button has no state to flip.
    auto* push = new NSButton(NSMakeRect(10, 40, 120, 30), NSButtonTypeMomentaryPushIn);
    ui.window.contentView()->addSubview(push);
    push->setTitle("Learn Tap");
    push->setState(NSControlStateValueOn);
    EXPECT_EQ(push->state(), NSControlStateValueOff);
    EXPECT_EQ(push->title(), NSString("Learn Tap"));
}

namespace {

// The tempo field's rule: an empty text, or an integer with blanks after it.
struct IntegerFormatter : NSNumberFormatter {
    bool isPartialStringValid(const NSString& partial, NSString*, NSString*) override
    {
        if (partial.length() == 0)
            return true;
        NSScanner scanner(partial);
        int value = 0;
        return scanner.scanInt(&value) && scanner.isAtEnd();
    }
};

} // namespace

TEST(TextField, TheFormatterDecidesEveryKeystrokeAndTheActionRunsOnReturn)
{
    vt::testing::ScriptedUser user;
    OneControl<NSTextField> ui(new NSTextField(NSMakeRect(10, 10, 100, 22)));
    NSTextField* field = ui.control;
    ActionLog log;
    field->setTarget(&log, &ActionLog::action);
    auto* formatter = new IntegerFormatter;
    formatter->setMaximumFractionDigits(2);
    field->setFormatter(formatter);

    // Shown through the formatter: 123.456 rounds to two digits.
    field->setDoubleValue(123.456);
    EXPECT_EQ(field->stringValue(), NSString("123.46"));
    EXPECT_DOUBLE_EQ(field->doubleValue(), 123.46);

    // The typed text replaces the selection; "a" is refused, "12" stays.
    EXPECT_EQ(user.type(field, "12a"), "12");
    EXPECT_EQ(log.senders, std::vector<id>{field});
    // A lone blank is no integer yet and is refused; blanks after one are
    // accepted.
    EXPECT_EQ(user.type(field, " 120 "), "120 ");
    EXPECT_EQ(field->integerValue(), 120);
    EXPECT_EQ(log.senders.size(), 2u);

    field->setEditable(false); // a label
    EXPECT_EQ(user.type(field, "99"), "120 ");
    field->setIntegerValue(-7);
    EXPECT_EQ(field->stringValue(), NSString("-7"));
}

TEST(Stepper, ClampsToItsLimitsAndSendsTheActionAtEveryStep)
{
    vt::testing::ScriptedUser user;
    OneControl<NSStepper> ui(new NSStepper(NSMakeRect(10, 10, 19, 27)));
    NSStepper* stepper = ui.control;
    EXPECT_EQ(stepper->maxValue(), 100); // the macOS defaults
    stepper->setMinValue(45);
    stepper->setMaxValue(250);
    stepper->setIncrement(1);
    ActionLog log;
    stepper->setTarget(&log, &ActionLog::action);

    stepper->setDoubleValue(300);
    EXPECT_EQ(stepper->doubleValue(), 250);
    stepper->setDoubleValue(123.46); // values between the steps are kept
    EXPECT_DOUBLE_EQ(stepper->doubleValue(), 123.46);
    stepper->setIntegerValue(249);
    EXPECT_TRUE(user.step(stepper, +3)); // 250, then held at the maximum
    EXPECT_EQ(stepper->integerValue(), 250);
    EXPECT_EQ(log.senders.size(), 3u);
    EXPECT_TRUE(user.step(stepper, -2));
    EXPECT_EQ(stepper->integerValue(), 248);
}

namespace {

// A 1x1 PNG, so the table can show images from the bundle's resources.
const unsigned char kOnePixelPng[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00,
    0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00,
    0x00, 0x00, 0x0B, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0x0F, 0x04, 0x00, 0x09, 0xFB, 0x03,
    0xFD, 0xFB, 0x5E, 0x6B, 0x2B, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

void writeResourceImage(const std::string& name)
{
    std::filesystem::path folder = NSBundle::mainBundle()->resourcePath().utf8();
    std::filesystem::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(kOnePixelPng), sizeof kOnePixelPng);
}

struct MidiSources : NSObject, NSTableViewDataSource, NSTableViewDelegate {
    std::vector<std::pair<std::string, bool>> sources; // name, active
    std::vector<NSInteger> selections;
    NSInteger numberOfRowsInTableView(NSTableView*) override { return static_cast<NSInteger>(sources.size()); }
    NSTableObjectValue tableViewObjectValueForTableColumn(NSTableView*, NSTableColumn* column, NSInteger row) override
    {
        const auto& source = sources[static_cast<size_t>(row)];
        if (column->identifier() == NSString("state"))
            return NSImage::imageNamed(source.second ? "enabled.png" : "disabled.png");
        return NSString(source.first);
    }
    void tableViewSelectionDidChange(NSNotification* notification) override
    {
        selections.push_back(static_cast<NSTableView*>(notification->object())->selectedRow());
    }
};

} // namespace

TEST(TableView, ReadsItsDataSourceAgainAtReloadAndReportsTheSelection)
{
    writeResourceImage("enabled.png");
    writeResourceImage("disabled.png");
    EXPECT_EQ(NSImage::imageNamed("missing.png"), nullptr);
    vt::testing::ScriptedUser user;
    OneControl<NSTableView> ui(new NSTableView(NSMakeRect(10, 10, 300, 200)));
    NSTableView* table = ui.control;
    table->addTableColumn(new NSTableColumn("state"));
    table->addTableColumn(new NSTableColumn("name"));
    MidiSources data;
    data.sources = {{"Keystation", true}, {"Pads", false}};
    table->setDataSource(&data);
    table->setDelegate(&data);

    ASSERT_EQ(table->numberOfRows(), 2);
    EXPECT_EQ(user.cell(table, 0, "name").text, "Keystation");
    EXPECT_EQ(user.cell(table, 0, "state").imageName, "enabled.png");
    EXPECT_EQ(user.cell(table, 1, "state").imageName, "disabled.png");
    EXPECT_EQ(table->selectedRow(), -1);

    EXPECT_TRUE(user.selectRow(table, 1));
    EXPECT_EQ(data.selections, std::vector<NSInteger>{1});
    data.sources[1].second = true;
    EXPECT_EQ(user.cell(table, 1, "state").imageName, "enabled.png"); // asked again, no copy kept
    data.sources.push_back({"Clock", false});
    table->reloadData();
    EXPECT_EQ(table->numberOfRows(), 3);
    EXPECT_EQ(table->selectedRow(), 1); // the selection survives the reload
    EXPECT_FALSE(user.selectRow(table, 3));
}

TEST(TabView, ARemovedTabDisappearsWhileItsControlsStayUsable)
{
    vt::testing::ScriptedUser user;
    OneControl<NSTabView> ui(new NSTabView(NSMakeRect(0, 0, 400, 300)));
    NSTabView* tabs = ui.control;
    std::vector<NSPopUpButton*> firstControls;
    for (const char* label : {"Audio In", "Audio Out", "MIDI In", "MIDI Out"}) {
        auto* item = new NSTabViewItem(label);
        auto* popUp = new NSPopUpButton(NSMakeRect(10, 10, 200, 26));
        item->view()->addSubview(popUp);
        firstControls.push_back(popUp);
        tabs->addTabViewItem(item);
    }
    ASSERT_EQ(tabs->numberOfTabViewItems(), 4);
    EXPECT_EQ(firstControls[0]->window(), &ui.window);

    tabs->removeTabViewItem(tabs->tabViewItemAtIndex(3));
    tabs->removeTabViewItem(tabs->tabViewItemAtIndex(0));
    EXPECT_EQ(tabs->numberOfTabViewItems(), 2);
    EXPECT_EQ(user.tabLabels(tabs), (std::vector<std::string>{"Audio Out", "MIDI In"}));
    EXPECT_EQ(tabs->tabViewItemAtIndex(2), nullptr);
    // An outlet into a removed tab still works.
    firstControls[0]->removeAllItems();
    firstControls[0]->addItemWithTitle("Built-in Input");
    EXPECT_EQ(firstControls[0]->numberOfItems(), 1);
}

TEST(View, HidesAndShowsAndGroupsControlsInABox)
{
    vt::testing::ScriptedUser user;
    NSWindow window(NSMakeRect(0, 0, 400, 300));
    auto* box = new NSBox(NSMakeRect(10, 10, 300, 200));
    box->setTitle("Keystation");
    auto* check = new NSButton(NSMakeRect(10, 30, 150, 22), NSButtonTypeSwitch);
    box->addSubview(check);
    window.contentView()->addSubview(box);
    window.makeKeyAndOrderFront(nil);
    EXPECT_EQ(check->superview(), box);
    EXPECT_EQ(box->frame().size.width, 300);
    EXPECT_FALSE(box->isHidden());
    box->setHidden(true);
    EXPECT_TRUE(box->isHidden());
    box->setHidden(false);
    EXPECT_FALSE(box->isHidden());
    EXPECT_EQ(box->layer(), nullptr);
    box->setWantsLayer(true);
    ASSERT_NE(box->layer(), nullptr);
    box->layer()->setBackgroundColor(NSColor::whiteColor());
}
