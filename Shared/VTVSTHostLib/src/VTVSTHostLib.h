// The hosting library's facade: one plug-in, its host record and the
// in-place processing the audio cycle and the offline render use.
#pragma once

#include "VSTPlugin.h"

#include <atomic>
#include <vector>

class VTVSTHostLib {
public:
    // Pointer entries that point at the one stereo output: ten pairs.
    static constexpr int kMaxChannelPointers = 20;
    // Every further channel a plug-in declares (up to VSTPlugin::kMaxChannels)
    // points at a scratch buffer of at least this many frames.
    static constexpr int kScratchFrames = 4096;

    VTVSTHostLib() = default;
    // Main thread, audio stopped: closes and unloads a plug-in still loaded.
    virtual ~VTVSTHostLib();
    VTVSTHostLib(const VTVSTHostLib&) = delete;
    VTVSTHostLib& operator=(const VTVSTHostLib&) = delete;

    // Main thread, audio stopped. True when the plug-in loaded (and was sent
    // effOpen); m_plugin holds it.
    virtual bool loadPlugin(const char* path, VSTMasterCallback callback, void* userData, int shellId, bool hosted);
    // Main thread, audio stopped. Suspends and closes the plug-in unless
    // closePlugin did, then unloads the bundle.
    virtual void unloadPlugin();
    // Audio thread (or the main thread while audio is stopped), real-time
    // safe: runs the plug-in in place on the output pair.
    virtual void processReplacing(float** inputs, float** outputs, int sampleFrames);

    // Main thread, audio stopped: suspends the plug-in when it is resumed,
    // then sends effClose once; m_plugin is null afterwards.
    void closePlugin();
    // Main thread, audio stopped. Resume (effMainsChanged 1) and suspend
    // (effMainsChanged 0), each sent only when it changes the state.
    void resumePlugin();
    void suspendPlugin();
    bool isResumed() const { return m_resumed; }
    // Main thread, audio stopped: suspends the plug-in, then tells it the
    // largest block it will be handed and the sample rate, and keeps both
    // for the plug-in's own questions (opcodes 16 and 17).
    void setBlockSizeAndRate(int blockSize, float sampleRate);

    // Audio thread, real-time safe: true when the plug-in may be called now,
    // and bInAudioThread is then set until leaveAudioCommunication. The
    // flag is raised before the lock is looked at, and lockAudioCommunication
    // raises the lock before it looks at the flag, so one of the two always
    // sees the other.
    bool enterAudioCommunication();
    void leaveAudioCommunication();
    // Main thread: keeps the audio thread away from the plug-in, returning
    // once no audio-thread call is in it any more; and lets it back.
    void lockAudioCommunication();
    void unlockAudioCommunication();

    // True while the plug-in processes or receives events on the audio thread.
    std::atomic<bool> bInAudioThread{false};
    // While true, the audio thread leaves the plug-in alone.
    std::atomic<bool> bLockAudioCommunication{false};
    VSTHost m_host;
    AEffect* m_plugin = nullptr;
    VSTPlugin m_pluginHelper;

private:
    void serve(AEffect* plugin, int pointers, float** outputs, int sampleFrames);

    // Main thread only.
    bool m_resumed = false;
    // Where the channels beyond the first ten pairs point; sized on the main
    // thread (load, block size) and only used by the processing call.
    std::vector<float> m_scratch;
};
