// The tempo window's resource: one row of controls, built and wired left to
// right as the interface description would. Docked below the main window it
// takes that window's width, so the row starts at the left edge.
#include "Tempo.h"

namespace {

constexpr CGFloat kWindowWidth = 460;
constexpr CGFloat kWindowHeight = 44;
constexpr CGFloat kRowTop = 9;
constexpr CGFloat kRowHeight = 26;
// The stepper's own range is wider than the tempo limits, so a step past a
// limit reaches the window, which holds the tempo at the limit.
constexpr double kStepperMinimum = 1;
constexpr double kStepperMaximum = 999;

} // namespace

std::unique_ptr<Tempo> loadTempoWindow()
{
    auto window = std::make_unique<Tempo>(NSMakeRect(0, 0, kWindowWidth, kWindowHeight),
                                          NSWindowStyleMaskTitled | NSWindowStyleMaskClosable);
    Tempo* w = window.get();
    w->setTitle("Tempo");
    auto* content = new NSView(NSMakeRect(0, 0, kWindowWidth, kWindowHeight));
    w->setContentView(content);
    w->_selfWindow = w;

    CGFloat x = 12;
    auto* title = new NSTextField(NSMakeRect(x, kRowTop + 3, 50, 20));
    title->setEditable(false);
    title->setStringValue("Tempo:");
    content->addSubview(title);
    x += 54;

    w->_tempoTextField = new NSTextField(NSMakeRect(x, kRowTop, 72, kRowHeight));
    w->_tempoTextField->setFormatter(new TempoFormatter);
    w->_tempoTextField->setTarget(w, &Tempo::tempoTextFieldChanged);
    content->addSubview(w->_tempoTextField);
    x += 74;

    w->_tempoStepper = new NSStepper(NSMakeRect(x, kRowTop, 22, kRowHeight));
    w->_tempoStepper->setMinValue(kStepperMinimum);
    w->_tempoStepper->setMaxValue(kStepperMaximum);
    w->_tempoStepper->setIncrement(1);
    w->_tempoStepper->setDoubleValue(120);
    w->_tempoStepper->setTarget(w, &Tempo::stepperClicked);
    content->addSubview(w->_tempoStepper);
    x += 34;

    w->_tapButton = new NSButton(NSMakeRect(x, kRowTop - 2, 70, kRowHeight + 4), NSButtonTypeMomentaryPushIn);
    w->_tapButton->setTitle("Tap");
    w->_tapButton->setTarget(w, &Tempo::tapClicked);
    content->addSubview(w->_tapButton);
    x += 82;

    w->_startMidiLearn = new NSButton(NSMakeRect(x, kRowTop - 2, 100, kRowHeight + 4), NSButtonTypeMomentaryPushIn);
    w->_startMidiLearn->setTitle("Learn Tap");
    w->_startMidiLearn->setTarget(w, &Tempo::tapLearnClicked);
    content->addSubview(w->_startMidiLearn);
    x += 108;

    w->_midiLearnTextField = new NSTextField(NSMakeRect(x, kRowTop + 3, kWindowWidth - x - 12, 20));
    w->_midiLearnTextField->setEditable(false);
    w->_midiLearnTextField->setStringValue("-");
    content->addSubview(w->_midiLearnTextField);

    w->awakeFromNib();
    return window;
}
