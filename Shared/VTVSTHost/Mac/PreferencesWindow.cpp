// The preferences window's resource: the four tabs and their controls, built
// and wired top to bottom as the interface description would.
#include "Preferences.h"

namespace {

// The layout, in points from the top left of each tab's page.
constexpr CGFloat kWindowWidth = 560;
constexpr CGFloat kWindowHeight = 440;
constexpr CGFloat kLabelWidth = 130;
constexpr CGFloat kFieldLeft = 24 + kLabelWidth + 8;
constexpr CGFloat kPopUpWidth = 320;
constexpr CGFloat kRowPitch = 36;
constexpr CGFloat kRowHeight = 26;
constexpr int kMidiChannels = 16;
constexpr double kLongestDelay = 1000; // milliseconds

NSTextField* label(NSView* page, CGFloat x, CGFloat y, CGFloat width, const char* text)
{
    auto* field = new NSTextField(NSMakeRect(x, y + 3, width, 20));
    field->setEditable(false);
    field->setStringValue(text);
    page->addSubview(field);
    return field;
}

template <class Action>
NSPopUpButton* popUp(NSView* page, CGFloat x, CGFloat y, CGFloat width, Preferences* target, Action action)
{
    auto* button = new NSPopUpButton(NSMakeRect(x, y, width, kRowHeight));
    button->setTarget(target, action);
    page->addSubview(button);
    return button;
}

template <class Action>
NSButton* checkBox(NSView* page, CGFloat x, CGFloat y, const char* title, Preferences* target, Action action)
{
    auto* box = new NSButton(NSMakeRect(x, y, 220, 22), NSButtonTypeSwitch);
    box->setTitle(title);
    box->setTarget(target, action);
    page->addSubview(box);
    return box;
}

NSView* addTab(NSTabView* tabs, const char* identifier, const char* title)
{
    auto* item = new NSTabViewItem(identifier);
    item->setLabel(title);
    tabs->addTabViewItem(item);
    return item->view();
}

// A device pop-up with its left and right channel pop-ups below it.
template <class Action>
void devicePage(NSView* page, const char* deviceTitle, Preferences* w, NSPopUpButton** device, Action deviceAction,
                NSPopUpButton** left, Action leftAction, NSPopUpButton** right, Action rightAction)
{
    CGFloat top = 24;
    label(page, 24, top, kLabelWidth, deviceTitle);
    *device = popUp(page, kFieldLeft, top, kPopUpWidth, w, deviceAction);
    top += kRowPitch;
    label(page, 24, top, kLabelWidth, "Left channel:");
    *left = popUp(page, kFieldLeft, top, kPopUpWidth / 2, w, leftAction);
    top += kRowPitch;
    label(page, 24, top, kLabelWidth, "Right channel:");
    *right = popUp(page, kFieldLeft, top, kPopUpWidth / 2, w, rightAction);
}

} // namespace

std::unique_ptr<Preferences> loadPreferencesWindow()
{
    auto window = std::make_unique<Preferences>(NSMakeRect(0, 0, kWindowWidth, kWindowHeight),
                                                NSWindowStyleMaskTitled | NSWindowStyleMaskClosable);
    Preferences* w = window.get();
    w->setTitle("Preferences");
    auto* content = new NSView(NSMakeRect(0, 0, kWindowWidth, kWindowHeight));
    w->setContentView(content);
    w->_tabView = new NSTabView(NSMakeRect(12, 12, kWindowWidth - 24, kWindowHeight - 24));
    content->addSubview(w->_tabView);

    // --- tab 0: audio input
    NSView* audioIn = addTab(w->_tabView, "audioIn", "Audio Input");
    devicePage(audioIn, "Input device:", w, &w->_audioInDevice, &Preferences::audioInDeviceChanged,
               &w->_audioInLeftChannel, &Preferences::audioInLeftChannelChanged, &w->_audioInRightChannel,
               &Preferences::audioInRightChannelChanged);

    // --- tab 1: audio output, with what the audio server reports below
    NSView* audioOut = addTab(w->_tabView, "audioOut", "Audio Output");
    devicePage(audioOut, "Output device:", w, &w->_audioOutDevice, &Preferences::audioOutDeviceChanged,
               &w->_audioOutLeftChannel, &Preferences::audioOutLeftChannelChanged, &w->_audioOutRightChannel,
               &Preferences::audioOutRightChannelChanged);
    label(audioOut, 24, 24 + 3 * kRowPitch + 12, kLabelWidth, "Audio server:");
    w->_audioServerStatus = label(audioOut, kFieldLeft, 24 + 3 * kRowPitch + 12, kPopUpWidth + 40, "");

    // --- tab 2: MIDI input, a row per source and the selected one's settings
    NSView* midiIn = addTab(w->_tabView, "midiIn", "MIDI Input");
    w->_midiInTableView = new NSTableView(NSMakeRect(16, 16, 220, 340));
    auto* state = new NSTableColumn("state");
    state->setTitle("");
    w->_midiInTableView->addTableColumn(state);
    auto* name = new NSTableColumn("name");
    name->setTitle("Source");
    w->_midiInTableView->addTableColumn(name);
    w->_midiInTableView->setDataSource(w);
    w->_midiInTableView->setDelegate(w);
    midiIn->addSubview(w->_midiInTableView);

    w->_midiInBox = new NSBox(NSMakeRect(248, 10, 270, 350));
    w->_midiInBox->setTitle("Settings");
    midiIn->addSubview(w->_midiInBox);
    NSView* box = w->_midiInBox;
    CGFloat top = 24;
    w->_midiInActive = checkBox(box, 12, top, "Active", w, &Preferences::midiInActiveChanged);
    w->_midiInSync = checkBox(box, 12, top += 28, "Sync to MIDI clock", w, &Preferences::midiInSyncChanged);
    w->_midiInSyncWhilePlaying =
        checkBox(box, 32, top += 28, "Also while playing", w, &Preferences::midiInSyncWhilePlayingChanged);
    w->_midiInCCMessages =
        checkBox(box, 12, top += 28, "Filter control changes", w, &Preferences::midiInCCMessagesChanged);
    w->_midiInProgramChange =
        checkBox(box, 12, top += 28, "Filter program changes", w, &Preferences::midiInProgramChangeChanged);
    top += 36;
    label(box, 12, top, 90, "Delay (ms):");
    w->_midiInDelay = new NSTextField(NSMakeRect(110, top + 1, 60, 24));
    w->_midiInDelay->setEditable(false);
    box->addSubview(w->_midiInDelay);
    w->_midiInDelayStepper = new NSStepper(NSMakeRect(174, top, 24, kRowHeight));
    w->_midiInDelayStepper->setMinValue(0);
    w->_midiInDelayStepper->setMaxValue(kLongestDelay);
    w->_midiInDelayStepper->setIncrement(1);
    w->_midiInDelayStepper->setTarget(w, &Preferences::midiInDelayChanged);
    box->addSubview(w->_midiInDelayStepper);
    top += kRowPitch;
    label(box, 12, top, 90, "Channel:");
    w->_midiInChannel = popUp(box, 110, top, 120, w, &Preferences::midiInChannelChanged);
    // Item 0 takes every channel; item n only channel n.
    w->_midiInChannel->addItemWithTitle("All");
    for (int channel = 1; channel <= kMidiChannels; ++channel)
        w->_midiInChannel->addItemWithTitle(NSString::stringWithFormat("%d", channel));
    top += kRowPitch;
    label(box, 12, top, 90, "Lowest key:");
    w->_midiInKeyboardRangeLeft = popUp(box, 110, top, 120, w, &Preferences::midiInKeyboardRangeLeftChanged);
    top += kRowPitch;
    label(box, 12, top, 90, "Highest key:");
    w->_midiInKeyboardRangeRight = popUp(box, 110, top, 120, w, &Preferences::midiInKeyboardRangeRightChanged);
    w->_midiInBox->setHidden(true);

    // --- tab 3: MIDI output
    NSView* midiOut = addTab(w->_tabView, "midiOut", "MIDI Output");
    label(midiOut, 24, 24, kLabelWidth, "Destination:");
    w->_midiOutDevice = popUp(midiOut, kFieldLeft, 24, kPopUpWidth, w, &Preferences::midiOutDeviceChanged);

    w->awakeFromNib();
    return window;
}
