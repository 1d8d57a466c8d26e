// The hosting library's facade: one plug-in, its host record and the
// in-place processing the audio cycle and the offline render use.
#pragma once

#include "VSTPlugin.h"

#include <atomic>

class VTVSTHostLib {
public:
    // Most outputs a plug-in is served: ten stereo pairs.
    static constexpr int kMaxChannelPointers = 20;

    VTVSTHostLib() = default;
    virtual ~VTVSTHostLib() = default;
    VTVSTHostLib(const VTVSTHostLib&) = delete;
    VTVSTHostLib& operator=(const VTVSTHostLib&) = delete;

    // Main thread, audio stopped. True when the plug-in loaded; m_plugin
    // holds it.
    virtual bool loadPlugin(const char* path, VSTMasterCallback callback, void* userData, int shellId, bool hosted);
    // Main thread, audio stopped.
    virtual void unloadPlugin();
    // Audio thread (or the main thread while audio is stopped), real-time
    // safe: runs the plug-in in place on the output pair.
    virtual void processReplacing(float** inputs, float** outputs, int sampleFrames);

    // True while the plug-in processes or receives events on the audio thread.
    std::atomic<bool> bInAudioThread{false};
    // While true, the audio thread leaves the plug-in alone.
    std::atomic<bool> bLockAudioCommunication{false};
    VSTHost m_host;
    AEffect* m_plugin = nullptr;
    VSTPlugin m_pluginHelper;
};
