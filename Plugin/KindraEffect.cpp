#include "KindraEffect.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define KINDRA_HAS_MXCSR 1
#endif

namespace {

// Decaying filters and releases would otherwise reach denormal numbers,
// which some processors compute a hundred times slower; flushing them to
// zero for the length of one block costs nothing. The host's own setting
// is restored afterwards.
class DenormalGuard {
public:
#if KINDRA_HAS_MXCSR
    DenormalGuard() : m_saved(_mm_getcsr())
    {
        _mm_setcsr(m_saved | 0x8040);
    }
    ~DenormalGuard()
    {
        _mm_setcsr(m_saved);
    }

private:
    unsigned int m_saved;
#endif
};

void copyText(void* destination, const char* text, size_t capacity)
{
    if (destination != nullptr)
        std::snprintf(static_cast<char*>(destination), capacity, "%s", text);
}

// Hosts give 64 bytes for names and strings, 24 for a program name.
constexpr size_t kStringBytes = 64;
constexpr size_t kProgramNameBytes = 24;

} // namespace

KindraEffect::KindraEffect(audioMasterCallback host)
{
    AEffect& e = m_record.effect;
    e.magic = kEffectMagic;
    e.dispatcher = dispatcherProc;
    e.setParameter = setParameterProc;
    e.getParameter = getParameterProc;
    e.processReplacing = processReplacingProc;
    e.numPrograms = 1;
    e.numParams = kParamCount;
    e.numInputs = 0;
    e.numOutputs = 2;
    e.flags = effFlagsIsSynth | effFlagsCanReplacing | effFlagsProgramChunks;
    e.object = this;
    e.uniqueID = kUniqueId;
    e.version = 1000;
    e.ioRatio = 1.0f;
    m_record.commands.undo = undoProc;
    m_record.commands.redo = redoProc;
    m_record.commands.openAbout = aboutProc;
    m_record.commands.openHelp = helpProc;
    m_record.commands.checkForUpdates = updateProc;
    m_record.commands.wantsKeyboard = wantsKeyboardProc;
    m_host.attach(host, &m_record.effect);
}

void KindraEffect::attachWindow(std::unique_ptr<KindraEditorWindow> window)
{
    m_window = std::move(window);
    if (m_window)
        m_record.effect.flags |= effFlagsHasEditor;
    else
        m_record.effect.flags &= ~effFlagsHasEditor;
}

KindraEffect::~KindraEffect()
{
    if (m_window)
        m_window->close();
}

// ---------------------------------------------------------------- parameters

void KindraEffect::userSetParameter(int index, float value)
{
    const float before = m_parameters.get(index);
    if (!m_parameters.set(index, value))
        return;
    m_history.record(index, before, m_parameters.get(index));
}

void KindraEffect::undo()
{
    KindraHistory::Change change;
    if (m_history.undo(change))
        m_parameters.set(change.index, change.before);
}

void KindraEffect::redo()
{
    KindraHistory::Change change;
    if (m_history.redo(change))
        m_parameters.set(change.index, change.after);
}

// ---------------------------------------------------------------- host requests

void KindraEffect::requestTempo(double bpm)
{
    if (m_host.setTempo(bpm))
        m_hostTempo.store(bpm, std::memory_order_relaxed);
}

void KindraEffect::requestTransport(bool playing)
{
    if (m_host.setTransport(playing))
        m_hostPlaying.store(playing, std::memory_order_relaxed);
}

void KindraEffect::requestSize(int width, int height)
{
    if (m_window)
        m_window->resize(width, height);
    m_host.sizeWindow(width, height);
}

// ---------------------------------------------------------------- state chunk

VstIntPtr KindraEffect::getChunk(void** data)
{
    if (data == nullptr)
        return 0;
    KindraState state{};
    for (int i = 0; i < kParamCount; ++i)
        state.values[i] = m_parameters.get(i);
    state.largeView = m_editorState.largeView();
    *data = const_cast<uint8_t*>(m_chunk.write(state));
    return static_cast<VstIntPtr>(m_chunk.size());
}

VstIntPtr KindraEffect::setChunk(const void* data, VstIntPtr size)
{
    KindraState state{};
    if (size <= 0 || !KindraChunk::read(data, static_cast<size_t>(size), state))
        return 0;
    for (int i = 0; i < kParamCount; ++i)
        m_parameters.set(i, state.values[i]);
    if (state.largeView != m_editorState.largeView()) {
        m_editorState.setLargeView(state.largeView);
        if (m_window)
            m_window->resize(m_editorState.width(), m_editorState.height());
    }
    // The loaded state is the new starting point: nothing before it to undo.
    m_history.clear();
    return 1;
}

// ---------------------------------------------------------------- MIDI

void KindraEffect::receiveEvents(const VstEvents* events)
{
    if (events == nullptr)
        return;
    for (VstInt32 i = 0; i < events->numEvents && m_inputCount < kMaxInputEvents; ++i) {
        const VstEvent* event = events->events[i];
        if (event == nullptr || event->type != kVstMidiType)
            continue;
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
        InputEvent in{midi->deltaFrames < 0 ? 0 : midi->deltaFrames,
                      {static_cast<uint8_t>(midi->midiData[0]), static_cast<uint8_t>(midi->midiData[1]),
                       static_cast<uint8_t>(midi->midiData[2])}};
        // Kept in time order whatever order the host used; equal times keep
        // their order.
        int at = m_inputCount++;
        while (at > 0 && m_input[at - 1].frame > in.frame) {
            m_input[at] = m_input[at - 1];
            --at;
        }
        m_input[at] = in;
    }
}

void KindraEffect::applyEvent(const uint8_t* bytes, int frame, const KindraVoiceSettings& settings, bool echo)
{
    const uint8_t status = bytes[0];
    const uint8_t data1 = bytes[1] & 0x7F;
    const uint8_t data2 = bytes[2] & 0x7F;
    switch (status & 0xF0) {
    case 0x90:
        m_synth.noteOn(data1, data2, settings);
        if (echo)
            m_midiOut.add(frame, status, data1, data2);
        break;
    case 0x80:
        m_synth.noteOff(data1, settings);
        if (echo)
            m_midiOut.add(frame, status, data1, data2);
        break;
    case 0xB0:
        if (data1 == 64)
            m_synth.setSustain(data2 >= 64, settings);
        else if (data1 == 120)
            m_synth.reset();
        else if (data1 == 123)
            m_synth.releaseAll(settings);
        break;
    case 0xE0:
        m_synth.setPitchBend(data1 | (data2 << 7));
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------- processing

void KindraEffect::process(float** outputs, VstInt32 frames)
{
    if (outputs == nullptr || outputs[0] == nullptr || outputs[1] == nullptr || frames <= 0) {
        m_inputCount = 0;
        return;
    }
    DenormalGuard guard;
    float* left = outputs[0];
    float* right = outputs[1];
    const float sampleRate = m_sampleRate.load(std::memory_order_relaxed);

    // --- the host's tempo and transport, also for the editor to show
    double tempo = 120.0;
    if (const VstTimeInfo* time = m_host.timeInfo()) {
        if ((time->flags & kVstTempoValid) != 0 && time->tempo > 0.0 && std::isfinite(time->tempo))
            tempo = time->tempo;
        m_hostPlaying.store((time->flags & kVstTransportPlaying) != 0, std::memory_order_relaxed);
    }
    m_hostTempo.store(tempo, std::memory_order_relaxed);

    const KindraVoiceSettings settings = KindraVoiceSettings::from(m_parameters, sampleRate);
    if (m_resetPending.exchange(false, std::memory_order_acq_rel))
        m_synth.reset();

    // --- the offline capture: the phrase starts clean and stops with it
    const bool capture = m_parameters.bounceCapture();
    if (capture && !m_phrase.running()) {
        m_synth.reset();
        m_phrase.start();
    } else if (!capture && m_phrase.running()) {
        m_phrase.stop();
        m_synth.releaseAll(settings);
    }
    int endOffset = -1;
    const int phraseCount = m_phrase.advance(frames, tempo, sampleRate, settings.amp.releaseSamples, m_phraseEvents,
                                             KindraPhrase::kMaxNotes * 2, endOffset);

    // --- render between events, the host's before the phrase's at one frame
    m_midiOut.clear();
    int position = 0;
    int input = 0;
    int phrase = 0;
    while (input < m_inputCount || phrase < phraseCount) {
        const bool takeInput =
            phrase >= phraseCount || (input < m_inputCount && m_input[input].frame <= m_phraseEvents[phrase].frame);
        int frame = takeInput ? m_input[input].frame : m_phraseEvents[phrase].frame;
        frame = frame > frames - 1 ? frames - 1 : frame;
        if (frame > position) {
            m_synth.render(left + position, right + position, frame - position, settings);
            position = frame;
        }
        if (takeInput) {
            applyEvent(m_input[input].bytes, frame, settings, true);
            ++input;
        } else {
            const KindraPhrase::BlockEvent& event = m_phraseEvents[phrase];
            const uint8_t bytes[3] = {static_cast<uint8_t>(event.velocity > 0 ? 0x90 : 0x80),
                                      static_cast<uint8_t>(event.note), static_cast<uint8_t>(event.velocity)};
            // The phrase is rendered faster than real time: its notes stay
            // inside the instrument rather than racing out to a device.
            applyEvent(bytes, frame, settings, false);
            ++phrase;
        }
    }
    if (position < frames)
        m_synth.render(left + position, right + position, frames - position, settings);
    m_inputCount = 0;

    // --- tell the host what was played and where the capture ended
    if (m_midiOut.count() > 0)
        m_host.sendEvents(m_midiOut.events());
    if (endOffset >= 0)
        m_host.reportBounceEnd(endOffset);
}

// ---------------------------------------------------------------- dispatcher

VstIntPtr KindraEffect::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    switch (opcode) {
    case effOpen:
        return 0;
    case effGetProgram:
        return 0;
    case effGetProgramName:
        copyText(ptr, "Init", kProgramNameBytes);
        return 1;
    case effGetParamLabel:
        return ptr != nullptr && KindraParameters::label(index, static_cast<char*>(ptr)) ? 1 : 0;
    case effGetParamDisplay:
        return ptr != nullptr && m_parameters.display(index, static_cast<char*>(ptr)) ? 1 : 0;
    case effGetParamName:
        return ptr != nullptr && KindraParameters::name(index, static_cast<char*>(ptr)) ? 1 : 0;
    case effSetSampleRate:
        if (opt > 0.0f && std::isfinite(opt))
            m_sampleRate.store(opt, std::memory_order_relaxed);
        return 0;
    case effSetBlockSize:
        // Any block length is rendered; nothing depends on the maximum.
        return 0;
    case effMainsChanged:
        // Voices are cleared on the audio thread, at the next block.
        if (value != 0)
            m_resetPending.store(true, std::memory_order_release);
        return 0;
    case effEditGetRect:
        if (ptr == nullptr)
            return 0;
        m_rect =
            ERect{0, 0, static_cast<VstInt16>(m_editorState.height()), static_cast<VstInt16>(m_editorState.width())};
        *static_cast<ERect**>(ptr) = &m_rect;
        return 1;
    case effEditOpen:
        return m_window && m_window->open(ptr) ? 1 : 0;
    case effEditClose:
        if (m_window)
            m_window->close();
        return 0;
    case effEditIdle:
        if (m_window)
            m_window->idle();
        return 0;
    case effGetChunk:
        return getChunk(static_cast<void**>(ptr));
    case effSetChunk:
        return setChunk(ptr, value);
    case effProcessEvents:
        receiveEvents(static_cast<const VstEvents*>(ptr));
        return 1;
    case effCanBeAutomated:
        return KindraParameters::spec(index) != nullptr ? 1 : 0;
    case effGetEffectName:
    case effGetProductString:
        copyText(ptr, "Kindra", kStringBytes);
        return 1;
    case effGetVendorString:
        copyText(ptr, "Veltrane", kStringBytes);
        return 1;
    case effGetVendorVersion:
        return 1000;
    case effGetVstVersion:
        return 2400;
    case effCanDo: {
        if (ptr == nullptr)
            return 0;
        const char* text = static_cast<const char*>(ptr);
        for (const char* yes : {"receiveVstMidiEvent", "receiveVstEvents", "sendVstMidiEvent", "sendVstEvents"})
            if (std::strcmp(text, yes) == 0)
                return 1;
        return std::strcmp(text, "forceCocoaMode") == 0 ? -1 : 0;
    }
    case effEditKeyDown:
        return m_editorState.keyDown(index, static_cast<int>(value)) ? 1 : 0;
    case effEditKeyUp:
        return m_editorState.keyUp(index, static_cast<int>(value)) ? 1 : 0;
    default:
        return 0;
    }
}

VstIntPtr KindraEffect::dispatcherProc(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                       float opt)
{
    KindraEffect* self = from(effect);
    if (self == nullptr)
        return 0;
    if (opcode == effClose) {
        delete self;
        return 1;
    }
    return self->dispatch(opcode, index, value, ptr, opt);
}

void KindraEffect::processReplacingProc(AEffect* effect, float** /*inputs*/, float** outputs, VstInt32 frames)
{
    if (KindraEffect* self = from(effect))
        self->process(outputs, frames);
}

void KindraEffect::setParameterProc(AEffect* effect, VstInt32 index, float value)
{
    KindraEffect* self = from(effect);
    if (self == nullptr)
        return;
    if (index == kBounceCaptureParam)
        self->m_parameters.setBounceCapture(value);
    else
        self->userSetParameter(index, value);
}

float KindraEffect::getParameterProc(AEffect* effect, VstInt32 index)
{
    KindraEffect* self = from(effect);
    return self != nullptr ? self->m_parameters.get(index) : 0.0f;
}

void KindraEffect::undoProc(AEffect* effect)
{
    if (KindraEffect* self = from(effect))
        self->undo();
}

void KindraEffect::redoProc(AEffect* effect)
{
    if (KindraEffect* self = from(effect))
        self->redo();
}

void KindraEffect::aboutProc(AEffect* effect)
{
    if (KindraEffect* self = from(effect))
        self->m_editorState.showInfo(KindraInfo::About);
}

void KindraEffect::helpProc(AEffect* effect)
{
    if (KindraEffect* self = from(effect))
        self->m_editorState.showInfo(KindraInfo::Help);
}

void KindraEffect::updateProc(AEffect* effect)
{
    if (KindraEffect* self = from(effect))
        self->m_editorState.showInfo(KindraInfo::Update);
}

bool KindraEffect::wantsKeyboardProc(AEffect* effect)
{
    KindraEffect* self = from(effect);
    return self != nullptr && self->m_editorState.editing();
}
