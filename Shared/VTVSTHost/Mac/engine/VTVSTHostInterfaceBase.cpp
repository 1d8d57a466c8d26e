#include "VTVSTHostInterfaceBase.h"

#include "VTAudioFiles.h"
#include "VTMidiMsg.h"

#include <CoreFoundation/CoreFoundation.h>

namespace {

// One run-loop slice of the tempo hand-over and of the player's wait.
constexpr CFTimeInterval kHandoverSlice = 0.005;
constexpr int kMaxTempoWaits = 52;

// Computer-keyboard letters and their semitones above C.
int semitoneOf(char key)
{
    switch (key) {
    case 'D':
        return 0;
    case 'R':
        return 1;
    case 'F':
        return 2;
    case 'T':
        return 3;
    case 'G':
        return 4;
    case 'H':
        return 5;
    case 'U':
        return 6;
    case 'J':
        return 7;
    case 'I':
        return 8;
    case 'K':
        return 9;
    case 'O':
        return 10;
    case 'L':
        return 11;
    default:
        return -1;
    }
}

constexpr uint8_t kNoteOn = 0x90;        // channel 1
constexpr uint8_t kControlChange = 0xB0; // channel 1
constexpr uint8_t kAllNotesOff = 123;
constexpr uint8_t kKeyboardVelocity = 94;
constexpr int kHighestOctave = 10;

} // namespace

VTVSTHostInterfaceBase::VTVSTHostInterfaceBase() = default;

VTVSTHostInterfaceBase::~VTVSTHostInterfaceBase()
{
    delete m_midiLearned;
    delete[] m_recordFrames[0];
    delete[] m_recordFrames[1];
    delete[] m_playFrames[0];
    delete[] m_playFrames[1];
    // m_audioReader deletes the player's file object with itself.
}

bool VTVSTHostInterfaceBase::isLinked() const
{
    return m_vstLib != nullptr && m_audioLib != nullptr && m_midiLib != nullptr && m_registry != nullptr;
}

bool VTVSTHostInterfaceBase::changeTempo(double tempo)
{
    for (int waits = 0; m_audioProcessing.load() && m_tempoChanged.load(); ++waits) {
        if (waits == kMaxTempoWaits)
            return false;
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, kHandoverSlice, false);
    }
    m_tempo.store(tempo);
    m_tempoChanged.store(true);
    return true;
}

void VTVSTHostInterfaceBase::waitForAudioCycle() const
{
    while (m_audioProcessing.load())
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, kHandoverSlice, false);
}

bool VTVSTHostInterfaceBase::queueMidi(uint8_t status, uint8_t data1, uint8_t data2)
{
    m_isFilling.enter();
    bool queued = m_activeEvents->append(status, data1, data2);
    m_isFilling.leave();
    return queued;
}

bool VTVSTHostInterfaceBase::keyHandler(char key, bool down)
{
    if (!isLinked())
        return false;

    int semitone = semitoneOf(key);
    if (semitone >= 0) {
        int note = m_keyoffset * 12 + semitone;
        // The top octave runs past MIDI's last note: such keys are taken
        // but play nothing.
        if (note <= 127) {
            if (down && !m_keys[note]) {
                m_keys[note] = true;
                queueMidi(kNoteOn, static_cast<uint8_t>(note), kKeyboardVelocity);
            } else if (!down && m_keys[note]) {
                m_keys[note] = false;
                queueMidi(kNoteOn, static_cast<uint8_t>(note), 0);
            }
        }
    } else if (key == 'P') {
        queueMidi(kControlChange, kAllNotesOff, 0);
    } else if (key == 'C' || key == 'V') {
        if (!down)
            m_keyoffset += key == 'C' ? -1 : 1;
    } else {
        return false;
    }

    if (m_keyoffset < 0)
        m_keyoffset = 0;
    if (m_keyoffset > kHighestOctave)
        m_keyoffset = kHighestOctave;
    return true;
}
