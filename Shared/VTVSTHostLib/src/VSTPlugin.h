// One loaded VST 2 bundle.
#pragma once

#include "VSTHost.h"

#include <CoreFoundation/CoreFoundation.h>

// The answer to audioMasterCurrentId: the shell sub-plug-in to create.
extern int shellPluginId;

class VSTPlugin {
public:
    // Most audio channels a plug-in may declare in either direction; a
    // plug-in that declares more is refused at load.
    static constexpr int kMaxChannels = 64;

    VSTPlugin() = default;
    ~VSTPlugin();
    VSTPlugin(const VSTPlugin&) = delete;
    VSTPlugin& operator=(const VSTPlugin&) = delete;

    // Main thread, audio stopped. Loads the bundle at path (UTF-8), calls its
    // entry with the host callback and registers the effect with host.
    // Sends effOpen to a valid effect before anything else. Returns the
    // effect, or null on any failure (an effect that was created but is
    // refused is closed again).
    AEffect* loadPlugin(const char* path, VSTHost* host, VSTMasterCallback callback, void* userData, bool hosted);
    // Main thread, audio stopped. Unloads the executable when nobody else
    // holds the bundle, and drops this reference.
    void unloadPlugin();

    CFBundleRef m_module = nullptr;

private:
    VSTPluginMainProc findEntry() const;
    AEffect* callEntry(VSTPluginMainProc entry, bool hosted);
};
