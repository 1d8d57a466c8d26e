#include "VSTPlugin.h"

int shellPluginId = 0;

namespace {

// Entry names, in the order they are tried. Linux builds of plug-ins made
// with the common open frameworks export only the legacy "main".
const char* const kEntryNames[] = {"VSTPluginMain", "main_macho",
#ifndef __APPLE__
                                   "main"
#endif
};

// What the host needs of an effect before it can run it at all.
bool isUsable(const AEffect& effect)
{
    return effect.magic == kEffectMagic && effect.dispatcher != nullptr && effect.processReplacing != nullptr &&
           effect.numInputs >= 0 && effect.numOutputs >= 0 && effect.numInputs <= VSTPlugin::kMaxChannels &&
           effect.numOutputs <= VSTPlugin::kMaxChannels;
}

} // namespace

VSTPlugin::~VSTPlugin()
{
    unloadPlugin();
}

AEffect* VSTPlugin::loadPlugin(const char* path, VSTHost* host, VSTMasterCallback callback, void* userData, bool hosted)
{
    if (host != nullptr && callback != nullptr) {
        host->m_masterCallBack = callback;
        host->m_masterCallBackData = userData;
    }
    if (path == nullptr || host == nullptr)
        return nullptr;
    CFStringRef pathString = CFStringCreateWithCString(nullptr, path, kCFStringEncodingUTF8);
    if (pathString == nullptr)
        return nullptr;
    CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, pathString, kCFURLPOSIXPathStyle, false);
    CFRelease(pathString);
    if (url == nullptr)
        return nullptr;
    m_module = CFBundleCreate(nullptr, url);
    CFRelease(url);
    if (m_module == nullptr)
        return nullptr;
    if (!CFBundleLoadExecutable(m_module))
        return nullptr;

    VSTPluginMainProc entry = findEntry();
    // Without an entry the bundle stays loaded and referenced until unload.
    if (entry == nullptr)
        return nullptr;

    AEffect* effect = callEntry(entry, hosted);
    if (effect == nullptr)
        return nullptr;
    if (!isUsable(*effect)) {
        // A real effect that cannot be run is closed; a record that is no
        // effect, or has no dispatcher, cannot be.
        if (effect->magic == kEffectMagic && effect->dispatcher != nullptr)
            effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        unloadPlugin();
        return nullptr;
    }
    host->setStaticHandler(effect);
    // Plug-ins of the open frameworks create their processing object only
    // now; every other request comes after this one.
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    return effect;
}

VSTPluginMainProc VSTPlugin::findEntry() const
{
    for (const char* name : kEntryNames) {
        CFStringRef symbol = CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8);
        if (symbol == nullptr)
            continue;
        auto entry = reinterpret_cast<VSTPluginMainProc>(CFBundleGetFunctionPointerForName(m_module, symbol));
        CFRelease(symbol);
        if (entry != nullptr)
            return entry;
    }
    return nullptr;
}

AEffect* VSTPlugin::callEntry(VSTPluginMainProc entry, bool hosted)
{
    audioMasterCallback callback = hosted ? VSTHost::AudioMasterCallbackHostedPlugin : VSTHost::AudioMasterCallback;
    // Whatever the plug-in's construction throws is a failed load: an
    // exception must not travel on through the host's C callers.
    try {
        return entry(callback);
    } catch (...) {
        return nullptr;
    }
}

void VSTPlugin::unloadPlugin()
{
    if (m_module == nullptr)
        return;
    // Someone else holding the bundle still needs its code.
    if (CFGetRetainCount(m_module) == 1)
        CFBundleUnloadExecutable(m_module);
    if (CFGetRetainCount(m_module) > 0)
        CFRelease(m_module);
    m_module = nullptr;
}
