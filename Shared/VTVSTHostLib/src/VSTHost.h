// The host side of the VST 2 interface: the audioMaster callback, the time
// information the plug-in reads, and the process-wide table that finds the
// host of a calling effect.
#pragma once

#include "VTVSTInterface.h"

// A caller-supplied callback that sees every request first (but opcode 2).
using VSTMasterCallback = VstIntPtr (*)(void* userData, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                        float opt);
using VSTMidiCallback = void (*)(VstMidiEvent* event, void* userData);
using VSTTempoCallback = void (*)(double tempo, void* userData);
using VSTSizeChangedCallback = void (*)(void* userData);
using VSTBounceDoneCallback = void (*)(bool done, int frames, void* userData);
// The plug-in's own transport button (private opcode 53): play or stop.
using VSTPlayStatusCallback = void (*)(bool playing, void* userData);

class VSTHost {
public:
    VSTHost();
    // Main thread, audio stopped: leaves the instance table.
    ~VSTHost();
    VSTHost(const VSTHost&) = delete;
    VSTHost& operator=(const VSTHost&) = delete;

    // Main thread, audio stopped: registers (this, effect); returns its index.
    int setStaticHandler(AEffect* effect);

    // Audio or main thread: the transport bit of the time information.
    void setPlayStatus(bool playing);
    bool getPlayStatus() const;

    // The plug-in's callback. Any thread the plug-in calls from; answers
    // from the audio thread without allocating or locking.
    static VstIntPtr AudioMasterCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                         float opt);
    // As above, but names the product "Veltrane Hoster" (opcode 33).
    static VstIntPtr AudioMasterCallbackHostedPlugin(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                     void* ptr, float opt);

    VSTMasterCallback m_masterCallBack = nullptr;
    void* m_masterCallBackData = nullptr;
    VstTimeInfo m_vstTimeInfo;
    VSTMidiCallback m_midiCallback = nullptr;
    void* m_midiCustomData = nullptr;
    VSTTempoCallback m_tempoCallback = nullptr;
    void* m_tempoCustomData = nullptr;
    VSTSizeChangedCallback m_SizeChangedCallback = nullptr;
    void* m_m_SizeChangedData = nullptr;
    VSTBounceDoneCallback m_bounceDoneCallback = nullptr;
    void* m_bounceDoneCustomData = nullptr;
    // Receives opcode 53 so that the audio thread, which owns the time
    // information, carries the request out; without it the request is
    // applied at once (nothing runs the plug-in then).
    VSTPlayStatusCallback m_playStatusCallback = nullptr;
    void* m_playStatusCustomData = nullptr;
    // The block size last sent to the plug-in (answer to opcode 17); written
    // on the main thread while the plug-in is suspended, read by the plug-in
    // on any thread.
    VstInt32 m_blockSize = 0;

private:
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
};

// The instance table: parallel arrays of exactly instancecounter3 hosts and
// effects. Changed on the main thread only, while audio is stopped.
class StaticHandler3 {
public:
    static int setnewinstance(VSTHost* host, AEffect* effect);
    static void removeinstance(VSTHost* host);
    // The host registered for an effect, or null.
    static VSTHost* hostFor(const AEffect* effect);

    static int instancecounter3;
    static VSTHost** classlist3;
    static AEffect** identlist3;
};
