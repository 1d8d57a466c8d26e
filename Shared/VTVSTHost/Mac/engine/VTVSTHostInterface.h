// The host engine: starts and stops audio and MIDI, runs the audio cycle,
// handles MIDI in and out, and restores and stores the plug-in's state.
#pragma once

#include "VTVSTHostInterfaceBase.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct VstMidiEvent;

class VTVSTHostInterface : public VTVSTHostInterfaceBase {
public:
    VTVSTHostInterface();
    // Main thread: stops a running stream first.
    ~VTVSTHostInterface() override;

    // Main thread. Tells the plug-in the output device's block size and
    // rate and starts the device pair; false when audio could not start.
    bool startAudio();
    // Main thread. Stops the device pair and waits for the last cycle.
    void stopAudio();
    // Main thread. Opens every active MIDI input and the output; false when
    // one of them failed (that device is then marked inactive).
    bool startMidi();
    // Main thread, after MIDI and audio are stopped: restores the plug-in's
    // state from "saved.chunk" / stores it there without ever leaving a
    // half-written file behind.
    void readChunk();
    bool writeChunk();

    // The audio layer's callback: audio thread, real-time safe.
    static bool audiocallback(float** inputs, float** outputs, unsigned frames, void* engine);
    // The plug-in's tempo request (private opcode 50): any thread but audio.
    static void tempocallback(double tempo, void* engine);
    // The plug-in's transport button (private opcode 53): any thread; the
    // next cycle carries it out.
    static void playstatuscallback(bool playing, void* engine);
    // The MIDI layer's input callback: MIDI thread.
    static void midiincallback(VTMidiMsg* message, void* context);
    // The plug-in's MIDI output: the thread the plug-in sends from.
    static void midioutcallback(VstMidiEvent* event, void* engine);

    // MIDI thread only (the tap timing).
    uint64_t m_lastTapTime = 0; // host clock of the last tap
    unsigned m_taptime = 0;     // milliseconds summed over the taps
    int m_tapcount = 0;

private:
    // What the MIDI layer hands back with every message of one input.
    struct MidiInContext {
        VTMidiDevice* device;
        VTVSTHostInterface* engine;
    };

    // A settings write queued on the main run loop: pending from the MIDI
    // thread until it ran; alive until the engine ends.
    struct PendingSettingsWrite {
        std::atomic<bool> pending{false};
        std::atomic<bool> alive{true};
    };

    bool processCycle(float** inputs, float** outputs, unsigned frames);
    static void copyInput(float* const* input, float* const* output, unsigned frames);
    void handOverMidi();
    void updatePosition();
    void renderPlayer(float** input, unsigned frames);
    void record(float** output, unsigned frames);
    void handleMessage(const VTMidiMsg& message, VTMidiDevice& device);
    void handleClock(const VTMidiMsg& message, VTMidiDevice& device);
    bool isTap(const VTMidiMsg& message);
    void tap();
    void learn(const VTMidiMsg& message);
    bool passesFilters(const VTMidiMsg& message, const VTMidiDevice& device) const;
    bool pluginIsSynth() const;
    bool pluginCanDo(const char* capability) const;
    bool chunkPath(std::string& path) const;
    void stopMidiLayer();

    // Contexts of the started inputs; freed once the MIDI layer is stopped,
    // never by a message, so no message can pull one away mid-stream.
    std::vector<MidiInContext*> m_midiInContexts;
    std::shared_ptr<PendingSettingsWrite> m_settingsWrite;
};
