// The preferences window: the audio input and output devices and their
// channels, the per-source MIDI input settings and the MIDI output. Every
// change is stored in the settings store, written to disk and applied at
// once by restarting audio or MIDI through the engine. The window owns none
// of the objects it edits; the main window hands them over before the
// window is first shown.
//
// Thread contract: main thread only.
#pragma once

#include <AppKit/AppKit.h>
#include <vtplatform/AudioServer.h>

#include <memory>
#include <vector>

class VTAudioLib;
class VTMidiLib;
class VTVSTHostInterface;
class VTVSTHostLib;
class VTVSTHostRegistry;
struct VTAudioDevice;
struct VTMidiDevice;

class Preferences : public NSWindow, public NSTableViewDataSource, public NSTableViewDelegate {
public:
    // init and initWithContentRect:styleMask:backing:defer:; the window
    // resource (loadPreferencesWindow) makes the controls.
    Preferences();
    Preferences(NSRect contentRect, NSUInteger styleMask);
    ~Preferences() override;

    // --- outlets (owned by the window's views)
    NSTabView* _tabView = nullptr; // 0 audio input, 1 audio output, 2 MIDI input, 3 MIDI output
    NSPopUpButton* _audioInDevice = nullptr;
    NSPopUpButton* _audioInLeftChannel = nullptr;
    NSPopUpButton* _audioInRightChannel = nullptr;
    NSPopUpButton* _audioOutDevice = nullptr;
    NSPopUpButton* _audioOutLeftChannel = nullptr;
    NSPopUpButton* _audioOutRightChannel = nullptr;
    NSTableView* _midiInTableView = nullptr;
    NSBox* _midiInBox = nullptr;
    NSButton* _midiInActive = nullptr;
    NSButton* _midiInSync = nullptr;
    NSButton* _midiInSyncWhilePlaying = nullptr;
    NSButton* _midiInCCMessages = nullptr;
    NSButton* _midiInProgramChange = nullptr;
    NSTextField* _midiInDelay = nullptr;
    NSStepper* _midiInDelayStepper = nullptr;
    NSPopUpButton* _midiInChannel = nullptr;
    NSPopUpButton* _midiInKeyboardRangeLeft = nullptr;
    NSPopUpButton* _midiInKeyboardRangeRight = nullptr;
    NSPopUpButton* _midiOutDevice = nullptr;
    // The read-only line of what the audio server reports, under the output
    // device choice; refreshed every second while the window is open.
    NSTextField* _audioServerStatus = nullptr;

    // --- properties, set by the main window before the first opening
    void setHostInterface(VTVSTHostInterface* hostInterface) { _hostInterface = hostInterface; }
    void setHostLib(VTVSTHostLib* hostLib) { _hostLib = hostLib; }
    void setAudioLib(VTAudioLib* audioLib) { _audioLib = audioLib; }
    void setMidiLib(VTMidiLib* midiLib) { _midiLib = midiLib; }
    void setRegistry(VTVSTHostRegistry* registry) { _registry = registry; }
    VTVSTHostInterface* hostInterface() const { return _hostInterface; }

    // Rebuilds every control from the current devices and settings; called
    // at each opening.
    void initialze();
    // Hides the window and stops refreshing the audio server line.
    void orderOut(id sender) override;

    // --- actions
    void audioInDeviceChanged(id sender);
    void audioInLeftChannelChanged(id sender);
    void audioInRightChannelChanged(id sender);
    void audioOutDeviceChanged(id sender);
    void audioOutLeftChannelChanged(id sender);
    void audioOutRightChannelChanged(id sender);
    void midiInActiveChanged(id sender);
    void midiInSyncChanged(id sender);
    void midiInSyncWhilePlayingChanged(id sender);
    void midiInDelayChanged(id sender);
    void midiInCCMessagesChanged(id sender);
    void midiInProgramChangeChanged(id sender);
    void midiInChannelChanged(id sender);
    void midiInKeyboardRangeLeftChanged(id sender);
    void midiInKeyboardRangeRightChanged(id sender);
    void midiOutDeviceChanged(id sender);

    // --- the MIDI input table's data source and delegate
    NSInteger numberOfRowsInTableView(NSTableView* tableView) override;
    NSTableObjectValue tableViewObjectValueForTableColumn(NSTableView* tableView, NSTableColumn* column,
                                                          NSInteger row) override;
    void tableViewSelectionDidChange(NSNotification* notification) override;

    NSString int2Notes(int note) const;

    // Where the audio server line reads from (the platform's readout unless
    // changed).
    using AudioServerReadoutSource = vt::platform::AudioServerReadout (*)();
    void setAudioServerReadoutSource(AudioServerReadoutSource source) { _readoutSource = source; }

private:
    void commonInit();
    bool pluginIsSynth() const;
    bool pluginSendsMidi() const;
    void buildTabs();
    void buildAudioLists();
    void buildMidiInTab();
    void buildMidiOutList();
    void audioDeviceChanged(bool input);
    void audioChannelChanged(bool input);
    void refreshAudioServerLine(NSTimer* timer);
    // The r-th source entry of the MIDI layer, or null.
    VTMidiDevice* sourceAtRow(NSInteger row) const;
    // The settings record of the selected source, or null.
    VTMidiDevice* selectedRecord() const;
    // Stores one MIDI input setting in the entry and its record, writes
    // the store and reopens MIDI.
    template <class Field, class Value> void storeMidiInSetting(Field VTMidiDevice::*field, Value value);
    void showAlert(const char* informativeText);

    VTVSTHostInterface* _hostInterface = nullptr;
    VTVSTHostLib* _hostLib = nullptr;
    VTAudioLib* _audioLib = nullptr;
    VTMidiLib* _midiLib = nullptr;
    VTVSTHostRegistry* _registry = nullptr;

    std::vector<VTAudioDevice*> _audioInDevices;
    std::vector<VTAudioDevice*> _audioOutDevices;
    std::vector<VTMidiDevice*> _midiOutDevices;
    VTMidiDevice* _selectedDevice = nullptr;

    AudioServerReadoutSource _readoutSource = &vt::platform::audioServerReadout;
    std::unique_ptr<NSTimer> _readoutTimer;
};

// The window resource: builds the preferences window with its four tabs,
// connects every outlet and action and answers it, hidden.
std::unique_ptr<Preferences> loadPreferencesWindow();
