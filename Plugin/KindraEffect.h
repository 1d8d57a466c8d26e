// The instrument as the host sees it: the VST 2 effect record with the six
// command entries after it, and the answers to every request. It owns the
// parameters, the voices, the phrase and the editor.
#pragma once

#include "KindraChunk.h"
#include "KindraEditorState.h"
#include "KindraEditorWindow.h"
#include "KindraHistory.h"
#include "KindraHost.h"
#include "KindraMidiOut.h"
#include "KindraParameters.h"
#include "KindraPhrase.h"
#include "KindraSynth.h"

#include <atomic>
#include <cstdint>
#include <memory>

class KindraEffect final {
public:
    static constexpr VstInt32 kUniqueId = vstFourCC('K', 'n', 'd', 'r');
    static constexpr int kMaxInputEvents = 1024;

    // Main thread, in the entry function.
    explicit KindraEffect(audioMasterCallback host);
    // Main thread, in the entry function: the editor's native window. Without
    // one the instrument has no editor.
    void attachWindow(std::unique_ptr<KindraEditorWindow> window);
    ~KindraEffect();
    KindraEffect(const KindraEffect&) = delete;
    KindraEffect& operator=(const KindraEffect&) = delete;

    // Any thread: the record handed to the host; the command entries follow it.
    AEffect* effect() { return &m_record.effect; }
    static KindraEffect* from(AEffect* effect)
    {
        return effect != nullptr ? static_cast<KindraEffect*>(effect->object) : nullptr;
    }

    // Main thread: views for the editor window and for checks.
    const KindraEditorState& editorState() const { return m_editorState; }
    KindraEditorState& editorState() { return m_editorState; }
    const KindraParameters& parameters() const { return m_parameters; }
    const KindraSynth& synth() const { return m_synth; }

    // Main thread: a value change the user made, recorded for undo.
    void userSetParameter(int index, float value);
    // Any thread: a parameter, and the host's tempo and transport as the
    // last block saw them (or as the editor last asked for them).
    float parameter(int index) const { return m_parameters.get(index); }
    double hostTempo() const { return m_hostTempo.load(std::memory_order_relaxed); }
    bool hostPlaying() const { return m_hostPlaying.load(std::memory_order_relaxed); }

    // Audio thread, real-time safe: renders frames into outputs[0..1].
    void process(float** outputs, VstInt32 frames);
    // Audio thread (the engine's cycle), real-time safe: the block's events.
    void receiveEvents(const VstEvents* events);

private:
    // The editor's way back into the instrument. A member rather than a
    // base, so that the effect itself carries no virtual table.
    class EditorLink final : public KindraEditorHost {
    public:
        explicit EditorLink(KindraEffect& effect) : m_effect(effect) {}
        void userSetParameter(int index, float value) override { m_effect.userSetParameter(index, value); }
        float parameter(int index) const override { return m_effect.parameter(index); }
        double hostTempo() const override { return m_effect.hostTempo(); }
        bool hostPlaying() const override { return m_effect.hostPlaying(); }
        void requestTempo(double bpm) override { m_effect.requestTempo(bpm); }
        void requestTransport(bool playing) override { m_effect.requestTransport(playing); }
        void requestSize(int width, int height) override { m_effect.requestSize(width, height); }

    private:
        KindraEffect& m_effect;
    };

    void requestTempo(double bpm);
    void requestTransport(bool playing);
    void requestSize(int width, int height);

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    VstIntPtr getChunk(void** data);
    VstIntPtr setChunk(const void* data, VstIntPtr size);
    void undo();
    void redo();
    void applyEvent(const uint8_t* bytes, int frame, const KindraVoiceSettings& settings, bool echo);

    static VstIntPtr dispatcherProc(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                    float opt);
    static void processReplacingProc(AEffect* effect, float** inputs, float** outputs, VstInt32 frames);
    static void setParameterProc(AEffect* effect, VstInt32 index, float value);
    static float getParameterProc(AEffect* effect, VstInt32 index);
    static void undoProc(AEffect* effect);
    static void redoProc(AEffect* effect);
    static void aboutProc(AEffect* effect);
    static void helpProc(AEffect* effect);
    static void updateProc(AEffect* effect);
    static bool wantsKeyboardProc(AEffect* effect);

    struct InputEvent {
        int frame;
        uint8_t bytes[3];
    };

    VTEffectWithCommands m_record{};
    KindraHost m_host;
    KindraParameters m_parameters;
    KindraHistory m_history;
    KindraChunk m_chunk;
    KindraSynth m_synth;
    KindraPhrase m_phrase;
    KindraMidiOut m_midiOut;
    EditorLink m_editorLink{*this};
    KindraEditorState m_editorState{m_editorLink};
    std::unique_ptr<KindraEditorWindow> m_window;
    ERect m_rect{};

    std::atomic<float> m_sampleRate{44100.0f};
    std::atomic<bool> m_resetPending{false};
    std::atomic<double> m_hostTempo{120.0};
    static_assert(std::atomic<double>::is_always_lock_free, "the audio thread shares the tempo without a lock");
    std::atomic<bool> m_hostPlaying{false};

    InputEvent m_input[kMaxInputEvents] = {};
    int m_inputCount = 0;
    KindraPhrase::BlockEvent m_phraseEvents[KindraPhrase::kMaxNotes * 2] = {};
};
