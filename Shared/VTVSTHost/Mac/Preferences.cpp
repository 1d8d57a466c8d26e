#include "Preferences.h"

#include "VTAudioLib.h"
#include "VTMidiLib.h"
#include "VTVSTHostInterface.h"
#include "VTVSTHostLib.h"
#include "VTVSTHostRegistry.h"
#include "WindowRules.h"

#include <algorithm>

namespace {

constexpr NSInteger kAudioInTab = 0;
constexpr NSInteger kMidiOutTab = 3;
constexpr NSInteger kTabCount = 4;
constexpr int kNoteCount = 128;
constexpr NSTimeInterval kReadoutInterval = 1.0;

// A device name as a pop-up title: "Error" when it is no text. Titles of a
// pop-up are unique, so a name that is already there (two interfaces of
// the same model) gets a number, keeping item i on entry i.
NSString uniqueTitle(NSPopUpButton* popUp, const std::string& name)
{
    NSString title = NSString::stringWithUTF8String(name.c_str());
    if (!title)
        title = "Error";
    NSString candidate = title;
    for (int number = 2;; ++number) {
        bool taken = false;
        for (NSInteger i = 0; i < popUp->numberOfItems() && !taken; ++i)
            taken = popUp->itemTitleAtIndex(i) == candidate;
        if (!taken)
            return candidate;
        candidate = NSString::stringWithFormat("%@ (%d)", title, number);
    }
}

// Fills a pair of channel pop-ups with a device's channel titles and
// selects its left and right channels. A stored channel the device does not
// have falls back to the first (left) and second (right) item, or to the
// last one of a single-channel device, so no selection is ever left empty.
void showChannels(NSPopUpButton* left, NSPopUpButton* right, const VTAudioDevice& device)
{
    left->removeAllItems();
    right->removeAllItems();
    for (const std::string& channel : device.channelNames) {
        left->addItemWithTitle(uniqueTitle(left, channel));
        right->addItemWithTitle(uniqueTitle(right, channel));
    }
    const NSInteger count = left->numberOfItems();
    if (count == 0)
        return;
    const NSInteger l = device.left.load();
    const NSInteger r = device.right.load();
    left->selectItemAtIndex(l < count ? l : 0);
    right->selectItemAtIndex(r < count ? r : std::min<NSInteger>(1, count - 1));
}

NSInteger indexIn(const std::vector<VTAudioDevice*>& list, const VTAudioDevice* device)
{
    auto found = std::find(list.begin(), list.end(), device);
    return found == list.end() ? -1 : static_cast<NSInteger>(found - list.begin());
}

bool isOn(const NSButton* box)
{
    return box->state() == NSControlStateValueOn;
}

} // namespace

Preferences::Preferences() : NSWindow(NSMakeRect(0, 0, 560, 420))
{
    commonInit();
}

Preferences::Preferences(NSRect contentRect, NSUInteger styleMask) : NSWindow(contentRect, styleMask)
{
    commonInit();
}

Preferences::~Preferences()
{
    // The table outlives this part of the window: it must not ask it for
    // rows while the window's views go.
    if (_midiInTableView != nullptr) {
        _midiInTableView->setDelegate(nullptr);
        _midiInTableView->setDataSource(nullptr);
    }
}

void Preferences::commonInit()
{
    _selectedDevice = nullptr;
}

bool Preferences::pluginIsSynth() const
{
    return _hostLib != nullptr && _hostLib->m_plugin != nullptr && (_hostLib->m_plugin->flags & effFlagsIsSynth) != 0;
}

bool Preferences::pluginSendsMidi() const
{
    AEffect* plugin = _hostLib != nullptr ? _hostLib->m_plugin : nullptr;
    return plugin != nullptr &&
           plugin->dispatcher(plugin, effCanDo, 0, 0, const_cast<char*>("sendVstMidiEvent"), 0.0f) == 1;
}

NSString Preferences::int2Notes(int note) const
{
    return NSString(noteName(note));
}

void Preferences::showAlert(const char* informativeText)
{
    NSAlert alert;
    alert.setMessageText("Error");
    alert.setInformativeText(informativeText);
    alert.setAlertStyle(NSAlertStyleCritical);
    alert.runModal();
}

// ------------------------------------------------------------ initialze

void Preferences::initialze()
{
    _audioInDevices.clear();
    _audioOutDevices.clear();
    _midiOutDevices.clear();
    buildTabs();
    buildAudioLists();
    buildMidiInTab();
    buildMidiOutList();

    // --- what the audio server reports, now and every second while open
    refreshAudioServerLine(nullptr);
    _readoutTimer =
        NSTimer::scheduledTimerWithTimeInterval(kReadoutInterval, this, &Preferences::refreshAudioServerLine, true);
}

void Preferences::buildTabs()
{
    // Only the first opening finds all four tabs; later ones keep the tabs
    // the plug-in left.
    if (_tabView == nullptr || _tabView->numberOfTabViewItems() != kTabCount)
        return;
    try {
        if (!pluginSendsMidi())
            _tabView->removeTabViewItem(_tabView->tabViewItemAtIndex(kMidiOutTab));
        if (pluginIsSynth())
            _tabView->removeTabViewItem(_tabView->tabViewItemAtIndex(kAudioInTab));
    } catch (...) {
        showAlert("Error build up tabs");
    }
}

void Preferences::buildAudioLists()
{
    const bool synth = pluginIsSynth();
    if (!synth) {
        _audioInDevice->removeAllItems();
        _audioInLeftChannel->removeAllItems();
        _audioInRightChannel->removeAllItems();
    }
    _audioOutDevice->removeAllItems();
    _audioOutLeftChannel->removeAllItems();
    _audioOutRightChannel->removeAllItems();
    if (_audioLib == nullptr || _registry == nullptr)
        return;

    // --- every entry of the device list into its direction's pop-up
    NSInteger currentIn = -1;
    NSInteger currentOut = -1;
    for (VTAudioDevice* device : _audioLib->devices()) {
        if (device == nullptr)
            continue;
        if (!device->isInput) {
            _audioOutDevice->addItemWithTitle(uniqueTitle(_audioOutDevice, device->name));
            _audioOutDevices.push_back(device);
            if (device == _registry->outputDevice)
                currentOut = static_cast<NSInteger>(_audioOutDevices.size()) - 1;
        } else if (!synth) {
            _audioInDevice->addItemWithTitle(uniqueTitle(_audioInDevice, device->name));
            _audioInDevices.push_back(device);
            if (device == _registry->inputDevice)
                currentIn = static_cast<NSInteger>(_audioInDevices.size()) - 1;
        }
    }

    // --- the current devices and their channels
    if (!synth && _audioInDevice->numberOfItems() > 0) {
        _audioInDevice->selectItemAtIndex(currentIn >= 0 ? currentIn : 0);
        if (currentIn >= 0)
            showChannels(_audioInLeftChannel, _audioInRightChannel, *_audioInDevices[currentIn]);
    }
    if (currentOut >= 0) {
        _audioOutDevice->selectItemAtIndex(currentOut);
        showChannels(_audioOutLeftChannel, _audioOutRightChannel, *_audioOutDevices[currentOut]);
    }
}

void Preferences::buildMidiInTab()
{
    try {
        _midiInBox->setHidden(true);
        for (NSPopUpButton* range : {_midiInKeyboardRangeLeft, _midiInKeyboardRangeRight}) {
            range->removeAllItems();
            for (int note = 0; note < kNoteCount; ++note)
                range->addItemWithTitle(int2Notes(note));
        }
        _midiInKeyboardRangeLeft->selectItemAtIndex(0);
        _midiInKeyboardRangeRight->selectItemAtIndex(kNoteCount - 1);
        _midiInTableView->reloadData();
    } catch (...) {
        showAlert("Error build up midi-in tab");
    }
}

void Preferences::buildMidiOutList()
{
    if (!pluginSendsMidi())
        return;
    _midiOutDevice->removeAllItems();
    _midiOutDevice->addItemWithTitle("No Output");
    if (_midiLib == nullptr)
        return;
    NSInteger active = 0;
    for (VTMidiDevice* device : _midiLib->m_coremidi.m_devices) {
        if (device == nullptr || device->in)
            continue;
        _midiOutDevice->addItemWithTitle(uniqueTitle(_midiOutDevice, device->name));
        _midiOutDevices.push_back(device);
        if (device->active)
            active = static_cast<NSInteger>(_midiOutDevices.size());
    }
    _midiOutDevice->selectItemAtIndex(active);
}

void Preferences::orderOut(id sender)
{
    NSWindow::orderOut(sender);
    _readoutTimer.reset();
}

void Preferences::refreshAudioServerLine(NSTimer*)
{
    if (_audioServerStatus != nullptr && _readoutSource != nullptr)
        _audioServerStatus->setStringValue(audioServerLine(_readoutSource()));
}

// ------------------------------------------------------------ audio

void Preferences::audioInDeviceChanged(id)
{
    audioDeviceChanged(true);
}

void Preferences::audioOutDeviceChanged(id)
{
    audioDeviceChanged(false);
}

void Preferences::audioDeviceChanged(bool input)
{
    NSPopUpButton* popUp = input ? _audioInDevice : _audioOutDevice;
    const std::vector<VTAudioDevice*>& list = input ? _audioInDevices : _audioOutDevices;
    if (_registry == nullptr || _audioLib == nullptr || popUp->numberOfItems() == 0)
        return;
    const NSInteger index = popUp->indexOfSelectedItem();
    if (index < 0 || index >= static_cast<NSInteger>(list.size()))
        return;
    VTAudioDevice* chosen = list[static_cast<size_t>(index)];
    VTAudioDevice*& current = input ? _registry->inputDevice : _registry->outputDevice;
    if (chosen == current)
        return;

    // --- the chosen device and its channels
    if (input)
        showChannels(_audioInLeftChannel, _audioInRightChannel, *chosen);
    else
        showChannels(_audioOutLeftChannel, _audioOutRightChannel, *chosen);
    current = chosen;

    // --- one direction of a device that has both moves the other along, so
    // input and output part only for a device that lacks a direction
    if (input || !pluginIsSynth()) {
        for (VTAudioDevice* other : _audioLib->devices()) {
            if (other == nullptr || other->isInput == input || other->id != chosen->id)
                continue;
            if (input) {
                _registry->outputDevice = other;
                _audioOutDevice->selectItemAtIndex(indexIn(_audioOutDevices, other));
                showChannels(_audioOutLeftChannel, _audioOutRightChannel, *other);
            } else {
                _registry->inputDevice = other;
                _audioInDevice->selectItemAtIndex(indexIn(_audioInDevices, other));
                showChannels(_audioInLeftChannel, _audioInRightChannel, *other);
            }
            break;
        }
    }

    _registry->write();
    if (_hostInterface == nullptr || !_hostInterface->startAudio())
        showAlert("Couldn't start Audio-Engine!");
}

void Preferences::audioInLeftChannelChanged(id)
{
    audioChannelChanged(true);
}

void Preferences::audioInRightChannelChanged(id sender)
{
    audioInLeftChannelChanged(sender);
}

void Preferences::audioOutLeftChannelChanged(id)
{
    audioChannelChanged(false);
}

void Preferences::audioOutRightChannelChanged(id sender)
{
    audioOutLeftChannelChanged(sender);
}

void Preferences::audioChannelChanged(bool input)
{
    NSPopUpButton* device = input ? _audioInDevice : _audioOutDevice;
    NSPopUpButton* left = input ? _audioInLeftChannel : _audioOutLeftChannel;
    NSPopUpButton* right = input ? _audioInRightChannel : _audioOutRightChannel;
    const std::vector<VTAudioDevice*>& list = input ? _audioInDevices : _audioOutDevices;
    if (device->numberOfItems() == 0 || left->numberOfItems() == 0 || right->numberOfItems() == 0)
        return;
    const NSInteger index = device->indexOfSelectedItem();
    const NSInteger l = left->indexOfSelectedItem();
    const NSInteger r = right->indexOfSelectedItem();
    // A pop-up without a selection names no channel: nothing to store.
    if (index < 0 || index >= static_cast<NSInteger>(list.size()) || l < 0 || r < 0)
        return;
    VTAudioDevice* entry = list[static_cast<size_t>(index)];
    entry->left = static_cast<uint32_t>(l);
    entry->right = static_cast<uint32_t>(r);

    if (_hostInterface == nullptr || !_hostInterface->startAudio()) {
        showAlert("Couldn't start Audio-Engine!");
        return;
    }
    if (_registry != nullptr)
        _registry->write();
}

// ------------------------------------------------------------ MIDI input

VTMidiDevice* Preferences::sourceAtRow(NSInteger row) const
{
    if (_midiLib == nullptr || row < 0)
        return nullptr;
    NSInteger seen = 0;
    for (VTMidiDevice* device : _midiLib->m_coremidi.m_devices) {
        if (device == nullptr || !device->in)
            continue;
        if (seen++ == row)
            return device;
    }
    return nullptr;
}

VTMidiDevice* Preferences::selectedRecord() const
{
    return _selectedDevice != nullptr && _registry != nullptr ? _registry->getMidiDevice(_selectedDevice) : nullptr;
}

NSInteger Preferences::numberOfRowsInTableView(NSTableView*)
{
    if (_midiLib == nullptr)
        return 0;
    const auto& devices = _midiLib->m_coremidi.m_devices;
    return std::count_if(devices.begin(), devices.end(), [](const VTMidiDevice* d) { return d != nullptr && d->in; });
}

NSTableObjectValue Preferences::tableViewObjectValueForTableColumn(NSTableView*, NSTableColumn* column, NSInteger row)
{
    VTMidiDevice* source = sourceAtRow(row);
    VTMidiDevice* record = source != nullptr && _registry != nullptr ? _registry->getMidiDevice(source) : nullptr;
    if (record == nullptr)
        return {};
    if (column != nullptr && column->identifier() == NSString("state")) {
        const char* image = record->active && record->sync ? "enabledsync.png"
                            : record->active               ? "enabled.png"
                                                           : "disabled.png";
        return NSImage::imageNamed(image);
    }
    NSString name = NSString::stringWithUTF8String(source->name.c_str());
    return name ? NSTableObjectValue(name) : NSTableObjectValue();
}

void Preferences::tableViewSelectionDidChange(NSNotification*)
{
    _midiInBox->setHidden(false);
    VTMidiDevice* source = sourceAtRow(_midiInTableView->selectedRow());
    VTMidiDevice* record = source != nullptr && _registry != nullptr ? _registry->getMidiDevice(source) : nullptr;
    if (record == nullptr)
        return;
    _selectedDevice = source;
    auto state = [](bool on) { return on ? NSControlStateValueOn : NSControlStateValueOff; };
    _midiInActive->setState(state(record->active));
    _midiInSync->setState(state(record->sync));
    _midiInSyncWhilePlaying->setState(state(record->syncWhilePlaying));
    _midiInCCMessages->setState(state(record->filterCCMessages));
    _midiInProgramChange->setState(state(record->filterProgramChanges));
    _midiInDelay->setIntegerValue(record->delay);
    _midiInDelayStepper->setIntegerValue(record->delay);
    _midiInChannel->selectItemAtIndex(record->channel);
    _midiInKeyboardRangeLeft->selectItemAtIndex(record->keyboardRangeLeft);
    _midiInKeyboardRangeRight->selectItemAtIndex(record->keyboardRangeRight);
}

template <class Field, class Value> void Preferences::storeMidiInSetting(Field VTMidiDevice::*field, Value value)
{
    VTMidiDevice* record = selectedRecord();
    if (record == nullptr)
        return;
    (_selectedDevice->*field).store(value);
    (record->*field).store(value);
    _registry->write();
    if (_hostInterface != nullptr)
        _hostInterface->startMidi();
}

void Preferences::midiInActiveChanged(id)
{
    storeMidiInSetting(&VTMidiDevice::active, isOn(_midiInActive));
    // The state image follows the change.
    if (_selectedDevice != nullptr)
        _midiInTableView->reloadData();
}

void Preferences::midiInSyncChanged(id)
{
    storeMidiInSetting(&VTMidiDevice::sync, isOn(_midiInSync));
    if (_selectedDevice != nullptr)
        _midiInTableView->reloadData();
}

void Preferences::midiInSyncWhilePlayingChanged(id)
{
    storeMidiInSetting(&VTMidiDevice::syncWhilePlaying, isOn(_midiInSyncWhilePlaying));
}

void Preferences::midiInDelayChanged(id)
{
    if (selectedRecord() == nullptr)
        return;
    const auto delay = static_cast<int32_t>(_midiInDelayStepper->integerValue());
    _midiInDelay->setIntegerValue(delay);
    storeMidiInSetting(&VTMidiDevice::delay, delay);
}

void Preferences::midiInCCMessagesChanged(id)
{
    storeMidiInSetting(&VTMidiDevice::filterCCMessages, isOn(_midiInCCMessages));
}

void Preferences::midiInProgramChangeChanged(id)
{
    storeMidiInSetting(&VTMidiDevice::filterProgramChanges, isOn(_midiInProgramChange));
}

void Preferences::midiInChannelChanged(id)
{
    const NSInteger index = _midiInChannel->indexOfSelectedItem();
    if (index >= 0)
        storeMidiInSetting(&VTMidiDevice::channel, static_cast<int32_t>(index));
}

void Preferences::midiInKeyboardRangeLeftChanged(id)
{
    const NSInteger index = _midiInKeyboardRangeLeft->indexOfSelectedItem();
    if (index >= 0)
        storeMidiInSetting(&VTMidiDevice::keyboardRangeLeft, static_cast<int32_t>(index));
}

void Preferences::midiInKeyboardRangeRightChanged(id)
{
    const NSInteger index = _midiInKeyboardRangeRight->indexOfSelectedItem();
    if (index >= 0)
        storeMidiInSetting(&VTMidiDevice::keyboardRangeRight, static_cast<int32_t>(index));
}

// ------------------------------------------------------------ MIDI output

void Preferences::midiOutDeviceChanged(id)
{
    if (_midiOutDevice->numberOfItems() == 0 || _registry == nullptr || _midiLib == nullptr)
        return;

    // --- close every input and the output before the choice changes
    if (_hostInterface != nullptr && _hostInterface->m_vstLib != nullptr &&
        _hostInterface->m_vstLib->m_plugin != nullptr && _hostInterface->m_midiLib != nullptr) {
        _hostInterface->m_midiLib->m_coremidi.stop();
        _hostInterface->m_midiSync = false;
    }

    // --- at most one destination is active: the chosen one
    auto setActive = [this](VTMidiDevice* destination, bool active) {
        destination->active = active;
        if (VTMidiDevice* record = _registry->getMidiDevice(destination))
            record->active = active;
    };
    for (VTMidiDevice* device : _midiLib->m_coremidi.m_devices)
        if (device != nullptr && !device->in)
            setActive(device, false);
    const NSInteger item = _midiOutDevice->indexOfSelectedItem();
    if (item > 0 && item <= static_cast<NSInteger>(_midiOutDevices.size()))
        setActive(_midiOutDevices[static_cast<size_t>(item - 1)], true);

    _registry->write();
    if (_hostInterface == nullptr || !_hostInterface->startMidi())
        showAlert("Couldn't start Midi-Engine!");
}
