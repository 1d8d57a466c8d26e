#include "VTVSTHostInterfaceBase.h"

#include "VTAudioFileAIFF.h"
#include "VTAudioFileDecoder.h"
#include "VTAudioFileWAV.h"
#include "VTAudioFiles.h"
#include "VTMidiMsg.h"
#include "VTVSTHostRegistry.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cctype>
#include <cstring>
#include <new>

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

// Whether the file name ends in "." and the extension, in any case.
bool hasExtension(const char* path, const char* extension)
{
    const size_t length = std::strlen(path);
    const size_t extensionLength = std::strlen(extension);
    if (length < extensionLength + 1 || path[length - extensionLength - 1] != '.')
        return false;
    for (size_t i = 0; i < extensionLength; ++i)
        if (std::tolower(static_cast<unsigned char>(path[length - extensionLength + i])) != extension[i])
            return false;
    return true;
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

// Per-cycle code is marked hot, so that it is kept together with the rest.
[[gnu::hot]] bool VTVSTHostInterfaceBase::isLinked() const
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

unsigned VTVSTHostInterfaceBase::loadPlayerFile(char* path)
{
    if (m_registry == nullptr || m_registry->outputDevice == nullptr)
        return 0;

    // --- stop the player and let the cycle that may still use it end
    const int playerState = m_playerPlayStatus.load();
    m_playerPlayStatus.store(0);
    waitForAudioCycle();
    delete[] m_playFrames[0];
    delete[] m_playFrames[1];
    m_playFrames[0] = nullptr;
    m_playFrames[1] = nullptr;
    m_numPlayerPlayedFrames = 0;
    if (path == nullptr || path[0] == '\0') {
        m_numPlayerFileFrames = 0;
        return 0;
    }

    // --- the reader by the name's extension: ".aif"/".aiff", ".wav", else the
    // decoder (".caf" ends in 'f' but is no AIFF file)
    const double rate = m_registry->outputDevice->sampleRate;
    delete m_audioReader.m_audioFile;
    m_audioReader.m_audioFile = nullptr;
    VTAudioFileBase* reader;
    if (hasExtension(path, "aif") || hasExtension(path, "aiff"))
        reader = new VTAudioFileAIFF;
    else if (hasExtension(path, "wav"))
        reader = new VTAudioFileWAV;
    else
        reader = new VTAudioFileDecoder;
    m_audioReader.m_audioFile = reader;

    const unsigned frames = reader->openFile(path, nullptr, static_cast<float>(rate));
    m_numPlayerFileFrames = frames;
    if (frames == 0)
        return 0;

    // --- the whole sample, plus a copy of frame 0 that the interpolation
    // reads past the last frame (and that joins a loop's end to its start)
    float* left = new (std::nothrow) float[frames + 1];
    float* right = new (std::nothrow) float[frames + 1];
    float* channels[2] = {left, right};
    if (left != nullptr && right != nullptr) {
        std::memset(left, 0, frames * sizeof(float));
        std::memset(right, 0, frames * sizeof(float));
        if (reader->getData(channels)) {
            left[frames] = left[0];
            right[frames] = right[0];
            waitForAudioCycle();
            m_playFrames[0] = left;
            m_playFrames[1] = right;
            m_playerPlayStatus.store(playerState);
            return frames;
        }
    }
    // A sample that does not fit in memory or cannot be read leaves the
    // player empty.
    delete[] left;
    delete[] right;
    return 0;
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
