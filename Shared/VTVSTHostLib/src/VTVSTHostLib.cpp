#include "VTVSTHostLib.h"

bool VTVSTHostLib::loadPlugin(const char* path, VSTMasterCallback callback, void* userData, int shellId, bool hosted)
{
    shellPluginId = shellId;
    m_plugin = m_pluginHelper.loadPlugin(path, &m_host, callback, userData, hosted);
    return m_plugin != nullptr;
}

void VTVSTHostLib::unloadPlugin()
{
    m_host.m_masterCallBack = nullptr;
    m_pluginHelper.unloadPlugin();
    m_plugin = nullptr;
}

void VTVSTHostLib::processReplacing(float** /*inputs*/, float** outputs, int sampleFrames)
{
    if (bLockAudioCommunication.load(std::memory_order_acquire) || m_plugin == nullptr ||
        m_plugin->processReplacing == nullptr || outputs == nullptr)
        return;
    bInAudioThread.store(true, std::memory_order_release);

    // The plug-in works in place: every output pair it has points at the
    // one stereo output, which already holds its input. Pairs past the
    // array are not served.
    float* channels[kMaxChannelPointers] = {};
    for (int k = 0; k < m_plugin->numOutputs && k + 1 < kMaxChannelPointers; k += 2) {
        channels[k] = outputs[0];
        channels[k + 1] = outputs[1];
    }
    m_plugin->processReplacing(m_plugin, channels, channels, sampleFrames);

    bInAudioThread.store(false, std::memory_order_release);
}
