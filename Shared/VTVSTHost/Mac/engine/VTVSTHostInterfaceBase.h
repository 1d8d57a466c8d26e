// The engine's state: transport and tempo, the sample player and recorder
// buffers, the MIDI event queues and the computer-keyboard notes. The
// fields are read and set directly by the windows; those the audio or MIDI
// thread shares are atomics, handed over as the comments say.
#pragma once

#include "VTAudioFiles.h"
#include "VTVSTMidiEvents.h"

#include <atomic>
#include <cstdint>

class VTVSTHostLib;
class VTAudioLib;
class VTMidiLib;
class VTVSTHostRegistry;
struct VTMidiDevice;
struct VTMidiMsg;

class VTVSTHostInterfaceBase {
public:
    VTVSTHostInterfaceBase();
    virtual ~VTVSTHostInterfaceBase();
    VTVSTHostInterfaceBase(const VTVSTHostInterfaceBase&) = delete;
    VTVSTHostInterfaceBase& operator=(const VTVSTHostInterfaceBase&) = delete;

    // Main thread. Turns a letter of the computer keyboard (uppercase) into
    // notes in the queue; true when the key was consumed.
    bool keyHandler(char key, bool down);

    // Any thread but the audio thread: the tempo hand-over. Waits in 5 ms
    // run-loop slices (at most 52) while a cycle runs that has not taken
    // the last change over, then stores the tempo for the next cycle. False
    // when every wait passed and the tempo was left unchanged.
    bool changeTempo(double tempo);

    // Any thread but the audio thread: appends one message to the queue the
    // next cycle hands to the plug-in; false when the queue is full.
    bool queueMidi(uint8_t status, uint8_t data1, uint8_t data2);

    // Main thread: waits (in run-loop slices) until no audio cycle runs.
    void waitForAudioCycle() const;

    // Main thread. Loads the whole sample file into the player, the reader
    // chosen by the name's last letter, and hands it to the audio thread
    // without stopping audio: the frames loaded (at the file's rate for WAV
    // and AIFF, at the output rate for decoded files), 0 when nothing could
    // be loaded. A null path empties the player.
    unsigned loadPlayerFile(char* path);

    // True when the engine is wired to the other four objects.
    bool isLinked() const;

    // --- fields, in the order of the engine's data model ----------------
    // Who writes and who reads each field that more than one thread sees:
    // "main" is the main thread, "audio" the audio cycle, "MIDI" the MIDI
    // receive thread. Fields both sides touch while both run are atomic.
    std::atomic<bool> m_midiLearn{false}; // main (tempo window) sets, MIDI takes and clears
    // Owned copy of the learned tap message: main before MIDI starts, MIDI
    // thread while it runs.
    VTMidiMsg* m_midiLearned = nullptr;
    bool m_checkCC = false;                      // MIDI thread only
    std::atomic<bool> m_playerDialogOpen{false}; // main writes, audio reads: live input is silenced while true

    // Set once on the main thread before audio and MIDI start; read by all.
    VTVSTHostLib* m_vstLib = nullptr;
    VTAudioLib* m_audioLib = nullptr;
    VTMidiLib* m_midiLib = nullptr;
    VTVSTHostRegistry* m_registry = nullptr;

    std::atomic<bool> m_audioStarted{false};
    std::atomic<bool> m_audioProcessing{false}; // audio writes, producers read: an audio cycle runs
    std::atomic<bool> m_tempoChanged{false};    // producers set, audio takes (one exchange)
    // Atomic so that no thread ever reads a half-written tempo.
    std::atomic<double> m_tempo{120.0};
    // Beats per sample frame: main (startAudio, stream stopped) and audio.
    double m_bpmFactor = 0;
    double m_bpmFactor2 = 0; // sample frames per beat: main only

    std::atomic<bool> m_playStatusChanged{true}; // any thread sets, audio takes (one exchange)
    std::atomic<bool> m_playStatus{false};

    std::atomic<int> m_recordStatus{0}; // 0 off, 1 recording, 2 armed (starts with MIDI)
    // Main allocates and sizes them while the recorder is off; audio fills.
    float* m_recordFrames[2] = {nullptr, nullptr};
    unsigned m_maxRecordFrames = 0;
    std::atomic<unsigned> m_numRecordedFrames{0}; // audio advances, main (player window) reads and resets

    std::atomic<int> m_playerPlayStatus{0};                 // 0 stopped, 1 playing, 2 armed (starts with MIDI)
    std::atomic<bool> m_playerRecorderStatusChanged{false}; // main sets, audio takes (one exchange)
    // Main replaces them only while the player is stopped and no cycle runs.
    float* m_playFrames[2] = {nullptr, nullptr};
    VTAudioFiles m_audioReader;                       // its m_audioFile owns the player's file object: main only
    std::atomic<unsigned> m_numPlayerPlayedFrames{0}; // audio advances, main reads and resets
    unsigned m_numPlayerFileFrames = 0;               // main, while the player is stopped; audio reads
    std::atomic<bool> m_playerPlayLooped{false};      // main writes, audio reads
    std::atomic<bool> m_playerPlayDone{false};        // audio sets, main reads and clears

    VTMidiDevice* m_midiOutDevice = nullptr; // main only (startMidi)

    VTVSTMidiEvents m_vtVSTMidiEvents[2];
    // The queue producers fill: swapped by audio, read by producers, both
    // only while holding m_isFilling.
    VTVSTMidiEvents* m_activeEvents = &m_vtVSTMidiEvents[0];
    std::atomic<int> m_activeEventsOffset{0};
    VTMidiQueueGate m_isFilling; // held while a producer appends or the cycle swaps

    double m_timeDiffSum24 = 0;          // MIDI thread only: milliseconds of the last clock ticks
    int m_timeStampCount = 0;            // MIDI thread only
    std::atomic<bool> m_midiSync{false}; // main writes, audio reads: a started input follows MIDI clock

    std::atomic<double> m_counter{0.0};    // player position in file frames: audio advances, main resets
    std::atomic<double> m_counterInc{0.0}; // file frames per output frame: main writes, audio reads

    std::atomic<double> m_midiPPQ{0.0}; // beats from MIDI clock
    std::atomic<double> m_lastMidiPPQ{0.0};
    std::atomic<double> m_audioPPQ{0.0}; // beats of the internal transport

    bool m_keys[128] = {}; // main only: notes held on the computer keyboard
    int m_keyoffset = 4;   // main only: octave of the keyboard's lowest key
};
