// The VST 2.4 plug-in interface records, opcodes and flags that the host and
// our plug-in use, written from the published binary layout. The
// static_asserts pin the x86-64 layout both sides rely on.
#pragma once

#include <cstddef>
#include <cstdint>

using VstInt16 = int16_t;
using VstInt32 = int32_t;
using VstIntPtr = intptr_t;

struct AEffect;

// Host callback ("audioMaster") and the plug-in's entry points.
using audioMasterCallback = VstIntPtr (*)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                          float opt);
using AEffectDispatcherProc = VstIntPtr (*)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                            void* ptr, float opt);
using AEffectProcessProc = void (*)(AEffect* effect, float** inputs, float** outputs, VstInt32 sampleFrames);
using AEffectProcessDoubleProc = void (*)(AEffect* effect, double** inputs, double** outputs, VstInt32 sampleFrames);
using AEffectSetParameterProc = void (*)(AEffect* effect, VstInt32 index, float parameter);
using AEffectGetParameterProc = float (*)(AEffect* effect, VstInt32 index);
// The entry function every VST 2 bundle exports.
using VSTPluginMainProc = AEffect* (*)(audioMasterCallback host);

constexpr VstInt32 vstFourCC(char a, char b, char c, char d)
{
    return (static_cast<VstInt32>(a) << 24) | (static_cast<VstInt32>(b) << 16) | (static_cast<VstInt32>(c) << 8) |
           static_cast<VstInt32>(d);
}

constexpr VstInt32 kEffectMagic = vstFourCC('V', 's', 't', 'P');

// The plug-in's description of itself.
struct AEffect {
    VstInt32 magic;                       // kEffectMagic
    AEffectDispatcherProc dispatcher;     // every effXxx request
    AEffectProcessProc process;           // accumulating process (deprecated)
    AEffectSetParameterProc setParameter; // index, value 0..1
    AEffectGetParameterProc getParameter; // index -> value 0..1
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 numInputs;                  // audio inputs
    VstInt32 numOutputs;                 // audio outputs
    VstInt32 flags;                      // effFlagsXxx
    VstIntPtr resvd1;                    // reserved for the host, 0
    VstIntPtr resvd2;                    // reserved for the host, 0
    VstInt32 initialDelay;               // latency in samples
    VstInt32 realQualities;              // unused
    VstInt32 offQualities;               // unused
    float ioRatio;                       // unused
    void* object;                        // the plug-in's own instance
    void* user;                          // free for the host
    VstInt32 uniqueID;                   // registered four-character id
    VstInt32 version;                    // plug-in version
    AEffectProcessProc processReplacing; // replacing float process
    AEffectProcessDoubleProc processDoubleReplacing;
    char future[56]; // reserved, zero
};

static_assert(sizeof(AEffect) == 192, "AEffect is 192 bytes on 64-bit");
static_assert(offsetof(AEffect, magic) == 0);
static_assert(offsetof(AEffect, dispatcher) == 8);
static_assert(offsetof(AEffect, setParameter) == 24);
static_assert(offsetof(AEffect, numInputs) == 48);
static_assert(offsetof(AEffect, numOutputs) == 52);
static_assert(offsetof(AEffect, flags) == 56);
static_assert(offsetof(AEffect, object) == 96);
static_assert(offsetof(AEffect, processReplacing) == 120);

// Our plug-in's record is followed directly by six command entries that
// the main window calls (undo, redo, about, help, update check, keyboard).
using VTEffectCommandProc = void (*)(AEffect* effect);
using VTEffectWantsKeyboardProc = bool (*)(AEffect* effect);

struct VTEffectCommands {
    VTEffectCommandProc undo;                // byte 192
    VTEffectCommandProc redo;                // byte 200
    VTEffectCommandProc openAbout;           // byte 208
    VTEffectCommandProc openHelp;            // byte 216
    VTEffectCommandProc checkForUpdates;     // byte 224
    VTEffectWantsKeyboardProc wantsKeyboard; // byte 232: the editor wants the keys
};

// An effect record with the commands appended, as our plug-in lays it out.
struct VTEffectWithCommands {
    AEffect effect;
    VTEffectCommands commands;
};

static_assert(offsetof(VTEffectWithCommands, commands) == 192);
static_assert(offsetof(VTEffectWithCommands, commands.checkForUpdates) == 224);
static_assert(offsetof(VTEffectWithCommands, commands.wantsKeyboard) == 232);

// The commands that follow an effect record. Only valid for a plug-in that
// appends them (ours does); the caller knows which plug-in it hosts.
inline VTEffectCommands* vtEffectCommands(AEffect* effect)
{
    return reinterpret_cast<VTEffectCommands*>(reinterpret_cast<char*>(effect) + sizeof(AEffect));
}

// AEffect flags.
enum : VstInt32 {
    effFlagsHasEditor = 1 << 0,          // the plug-in has an editor
    effFlagsCanReplacing = 1 << 4,       // processReplacing is supported
    effFlagsProgramChunks = 1 << 5,      // state travels as chunks
    effFlagsIsSynth = 1 << 8,            // an instrument
    effFlagsNoSoundInStop = 1 << 9,      // silent when the transport stops
    effFlagsCanDoubleReplacing = 1 << 12 // processDoubleReplacing is supported
};

// Requests from the host to the plug-in (dispatcher opcodes).
enum : VstInt32 {
    effOpen = 0,            // after the entry returned
    effClose = 1,           // last call; the plug-in deletes itself
    effSetProgram = 2,      // value = program number
    effGetProgram = 3,      // returns the program number
    effSetProgramName = 4,  // ptr = name
    effGetProgramName = 5,  // ptr = buffer of 24 chars
    effGetParamLabel = 6,   // index, ptr = buffer of 8 chars ("dB")
    effGetParamDisplay = 7, // index, ptr = buffer of 8 chars ("-6.0")
    effGetParamName = 8,    // index, ptr = buffer of 8 chars ("Cutoff")
    effSetSampleRate = 10,  // opt = rate
    effSetBlockSize = 11,   // value = maximum frames per process call
    effMainsChanged = 12,   // value = 0 suspend, 1 resume
    effEditGetRect = 13,    // ptr = ERect**
    effEditOpen = 14,       // ptr = parent window
    effEditClose = 15,
    effEditIdle = 19,         // the host's idle tick for the editor
    effGetChunk = 23,         // ptr = void**, returns the size
    effSetChunk = 24,         // value = size, ptr = data
    effProcessEvents = 25,    // ptr = VstEvents*
    effCanBeAutomated = 26,   // index
    effGetEffectName = 45,    // ptr = buffer of 32 chars
    effGetVendorString = 47,  // ptr = buffer of 64 chars
    effGetProductString = 48, // ptr = buffer of 64 chars
    effGetVendorVersion = 49,
    effCanDo = 51, // ptr = capability text, returns 1 yes, -1 no, 0 unknown
    effGetVstVersion = 58,
    effEditKeyDown = 59, // index = character, value = virtual key, opt = modifiers
    effEditKeyUp = 60,   // as effEditKeyDown
    effStartProcess = 71,
    effStopProcess = 72
};

// Requests from the plug-in to the host (audioMaster opcodes).
enum : VstInt32 {
    audioMasterAutomate = 0,  // index, opt = value
    audioMasterVersion = 1,   // returns the VST version (2400)
    audioMasterCurrentId = 2, // returns the id of a shell's sub-plug-in
    audioMasterIdle = 3,
    audioMasterGetTime = 7,       // value = request mask, returns VstTimeInfo*
    audioMasterProcessEvents = 8, // ptr = VstEvents*
    audioMasterIOChanged = 13,
    audioMasterSizeWindow = 15, // index = width, value = height
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetVendorString = 32,  // ptr = buffer of 64 chars
    audioMasterGetProductString = 33, // ptr = buffer of 64 chars
    audioMasterGetVendorVersion = 34,
    audioMasterCanDo = 37, // ptr = capability text
    audioMasterUpdateDisplay = 42,
    // Private requests between our plug-in and this host.
    audioMasterVTSetTempo = 50,       // opt = tempo in BPM
    audioMasterVTReserved = 51,       // answered with 0
    audioMasterVTBounceProgress = 52, // value != 0: render done, opt = frame offset
    audioMasterVTSetTransport = 53    // index != 0: play; rewinds to beat 0
};

// Event types and flags.
enum : VstInt32 { kVstMidiType = 1, kVstSysExType = 6, kVstMidiEventIsRealtime = 1 };

// Any event; the first 16 bytes are common to every type.
struct VstEvent {
    VstInt32 type;
    VstInt32 byteSize;    // size after these two fields: 24
    VstInt32 deltaFrames; // offset inside the current block
    VstInt32 flags;
    char data[16];
};

struct VstMidiEvent {
    VstInt32 type;        // kVstMidiType
    VstInt32 byteSize;    // 32 in practice (sizeof)
    VstInt32 deltaFrames; // offset inside the current block
    VstInt32 flags;       // kVstMidiEventIsRealtime
    VstInt32 noteLength;  // 0 when unknown
    VstInt32 noteOffset;
    char midiData[4]; // one message of 1 to 3 bytes, zero padded
    char detune;
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};

// A list of events; the array really holds numEvents pointers.
struct VstEvents {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[2];
};

static_assert(sizeof(VstEvent) == 32);
static_assert(sizeof(VstMidiEvent) == 32);
static_assert(offsetof(VstMidiEvent, midiData) == 24);
static_assert(offsetof(VstEvents, events) == 16);

// Transport and tempo as the plug-in reads them.
struct VstTimeInfo {
    double samplePos;
    double sampleRate;
    double nanoSeconds;
    double ppqPos; // position in quarter notes
    double tempo;  // BPM
    double barStartPos;
    double cycleStartPos;
    double cycleEndPos;
    VstInt32 timeSigNumerator;
    VstInt32 timeSigDenominator;
    VstInt32 smpteOffset;
    VstInt32 smpteFrameRate;
    VstInt32 samplesToNextClock;
    VstInt32 flags; // kVstXxx below
};

static_assert(sizeof(VstTimeInfo) == 88);
static_assert(offsetof(VstTimeInfo, ppqPos) == 24);
static_assert(offsetof(VstTimeInfo, flags) == 84);

enum : VstInt32 {
    kVstTransportChanged = 1,
    kVstTransportPlaying = 1 << 1,
    kVstTransportCycleActive = 1 << 2,
    kVstTransportRecording = 1 << 3,
    kVstNanosValid = 1 << 8,
    kVstPpqPosValid = 1 << 9,
    kVstTempoValid = 1 << 10,
    kVstBarsValid = 1 << 11,
    kVstCyclePosValid = 1 << 12,
    kVstTimeSigValid = 1 << 13,
    kVstSmpteValid = 1 << 14,
    kVstClockValid = 1 << 15
};

// Editor rectangle in pixels.
struct ERect {
    VstInt16 top;
    VstInt16 left;
    VstInt16 bottom;
    VstInt16 right;
};

static_assert(sizeof(ERect) == 8);
