// The player and recorder window's resource: the player box above the
// recorder box and the start-up switch, built and wired top to bottom as
// the interface description would.
#include "PlayerRecorder.h"

namespace {

constexpr CGFloat kWindowWidth = 500;
constexpr CGFloat kWindowHeight = 292;
constexpr CGFloat kMargin = 12;
constexpr CGFloat kBoxWidth = kWindowWidth - 2 * kMargin;
constexpr CGFloat kRowHeight = 26;
constexpr CGFloat kPlayerBoxTop = 8;
constexpr CGFloat kPlayerBoxHeight = 138;
constexpr CGFloat kRecorderBoxTop = kPlayerBoxTop + kPlayerBoxHeight + 8;
constexpr CGFloat kRecorderBoxHeight = 98;
constexpr CGFloat kStartupTop = kRecorderBoxTop + kRecorderBoxHeight + 10;

template <class Target>
NSButton* addButton(NSView* box, NSRect frame, NSButtonType type, const char* title, Target* target,
                    void (Target::*action)(id))
{
    auto* button = new NSButton(frame, type);
    button->setTitle(title);
    button->setTarget(target, action);
    box->addSubview(button);
    return button;
}

NSTextField* addLabel(NSView* box, NSRect frame, const char* text)
{
    auto* label = new NSTextField(frame);
    label->setEditable(false);
    label->setStringValue(text);
    box->addSubview(label);
    return label;
}

} // namespace

std::unique_ptr<PlayerRecorder> loadPlayerRecorderWindow()
{
    auto window = std::make_unique<PlayerRecorder>(NSMakeRect(0, 0, kWindowWidth, kWindowHeight),
                                                   NSWindowStyleMaskTitled | NSWindowStyleMaskClosable |
                                                       NSWindowStyleMaskMiniaturizable);
    PlayerRecorder* w = window.get();
    w->setTitle("Player / Recorder");
    auto* content = new NSView(NSMakeRect(0, 0, kWindowWidth, kWindowHeight));
    w->setContentView(content);
    w->_window = w;

    // --- the player: the sample and its buttons, play, the switches
    auto* player = new NSBox(NSMakeRect(kMargin, kPlayerBoxTop, kBoxWidth, kPlayerBoxHeight));
    player->setTitle("Player");
    content->addSubview(player);
    CGFloat y = 24;
    w->_sampleLoadBtn = addButton(player, NSMakeRect(10, y, 80, kRowHeight), NSButtonTypeMomentaryPushIn, "Load", w,
                                  &PlayerRecorder::onLoadSample);
    w->_sampleLoadPrevBtn = addButton(player, NSMakeRect(94, y, 36, kRowHeight), NSButtonTypeMomentaryPushIn, "<", w,
                                      &PlayerRecorder::onLoadPreviousSample);
    w->_sampleLoadNextBtn = addButton(player, NSMakeRect(134, y, 36, kRowHeight), NSButtonTypeMomentaryPushIn, ">", w,
                                      &PlayerRecorder::onLoadNextSample);
    w->_sampleName = addLabel(player, NSMakeRect(180, y + 3, kBoxWidth - 190, 20), "");

    y += 36;
    w->_startStopPlay = addButton(player, NSMakeRect(10, y, 100, kRowHeight), NSButtonTypeMomentaryPushIn, "Play", w,
                                  &PlayerRecorder::onStartPlay);
    w->_sampleResetBtn = addButton(player, NSMakeRect(114, y, 70, kRowHeight), NSButtonTypeMomentaryPushIn, "Reset", w,
                                   &PlayerRecorder::onReset);
    w->_timefieldPlay = addLabel(player, NSMakeRect(196, y + 3, 60, 20), "0:00");
    w->_playLoopedBtn = addButton(player, NSMakeRect(270, y, 190, kRowHeight), NSButtonTypeSwitch, "Play Looped", w,
                                  &PlayerRecorder::onPlayLooped);

    y += 36;
    w->_calculateTempoBtn = addButton(player, NSMakeRect(10, y, 150, kRowHeight), NSButtonTypeSwitch, "Calculate Tempo",
                                      w, &PlayerRecorder::onCalculateTempo);
    w->_calculatedTempo = addLabel(player, NSMakeRect(164, y + 3, 96, 20), "");
    w->_startPlayingByMidiBtn = addButton(player, NSMakeRect(270, y, 190, kRowHeight), NSButtonTypeSwitch,
                                          "Start Playing by Midi", w, &PlayerRecorder::onStartPlayingByMidi);

    // --- the recorder: record and its time, the start option and length
    auto* recorder = new NSBox(NSMakeRect(kMargin, kRecorderBoxTop, kBoxWidth, kRecorderBoxHeight));
    recorder->setTitle("Recorder");
    content->addSubview(recorder);
    y = 24;
    w->_startStopRecord = addButton(recorder, NSMakeRect(10, y, 150, kRowHeight), NSButtonTypeMomentaryPushIn,
                                    "Start Recording", w, &PlayerRecorder::onStartRecord);
    w->_timefieldRecord = addLabel(recorder, NSMakeRect(172, y + 3, 120, 20), "0:00 / max:");

    y += 36;
    w->_recordStartOptionBtn = new NSPopUpButton(NSMakeRect(10, y, 250, kRowHeight));
    w->_recordStartOptionBtn->setTarget(w, &PlayerRecorder::recordOptionChanged);
    recorder->addSubview(w->_recordStartOptionBtn);
    addLabel(recorder, NSMakeRect(272, y + 3, 84, 20), "Max. length:");
    w->_recordMaxLength = new NSPopUpButton(NSMakeRect(360, y, 100, kRowHeight));
    w->_recordMaxLength->setTarget(w, &PlayerRecorder::recordMaxBarsChanged);
    recorder->addSubview(w->_recordMaxLength);

    // --- the window at start-up
    w->_openWndOnStartup = addButton(content, NSMakeRect(kMargin + 10, kStartupTop, 260, kRowHeight),
                                     NSButtonTypeSwitch, "Open Window on Startup", w, &PlayerRecorder::onOpenOnStartup);

    w->awakeFromNib();
    return window;
}
