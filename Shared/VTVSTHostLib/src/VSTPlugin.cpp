#include "VSTPlugin.h"

#include <exception>

int shellPluginId = 0;

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

    auto entry =
        reinterpret_cast<VSTPluginMainProc>(CFBundleGetFunctionPointerForName(m_module, CFSTR("VSTPluginMain")));
    if (entry == nullptr)
        entry = reinterpret_cast<VSTPluginMainProc>(CFBundleGetFunctionPointerForName(m_module, CFSTR("main_macho")));
    // Without an entry the bundle stays loaded and referenced until unload.
    if (entry == nullptr)
        return nullptr;

    AEffect* effect = callEntry(entry, hosted);
    if (effect == nullptr)
        return nullptr;
    if (effect->magic != kEffectMagic) {
        unloadPlugin();
        return nullptr;
    }
    host->setStaticHandler(effect);
    return effect;
}

AEffect* VSTPlugin::callEntry(VSTPluginMainProc entry, bool hosted)
{
    audioMasterCallback callback = hosted ? VSTHost::AudioMasterCallbackHostedPlugin : VSTHost::AudioMasterCallback;
    // A standard exception from the plug-in's construction is a failed
    // load; anything else is not ours to swallow.
    try {
        return entry(callback);
    } catch (const std::exception&) {
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
