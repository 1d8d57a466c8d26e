// One loaded VST 2 bundle.
#pragma once

#include "VSTHost.h"

#include <CoreFoundation/CoreFoundation.h>

// The answer to audioMasterCurrentId: the shell sub-plug-in to create.
extern int shellPluginId;

class VSTPlugin {
public:
    VSTPlugin() = default;
    ~VSTPlugin();
    VSTPlugin(const VSTPlugin&) = delete;
    VSTPlugin& operator=(const VSTPlugin&) = delete;

    // Main thread, audio stopped. Loads the bundle at path (UTF-8), calls its
    // entry with the host callback and registers the effect with host.
    // Returns the effect, or null on any failure.
    AEffect* loadPlugin(const char* path, VSTHost* host, VSTMasterCallback callback, void* userData, bool hosted);
    // Main thread, audio stopped. Unloads the executable when nobody else
    // holds the bundle, and drops this reference.
    void unloadPlugin();

    CFBundleRef m_module = nullptr;

private:
    AEffect* callEntry(VSTPluginMainProc entry, bool hosted);
};
