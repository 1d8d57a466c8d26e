#include "VTVSTHostLib.h"

#include <algorithm>
#include <cstring>
#include <thread>

VTVSTHostLib::~VTVSTHostLib()
{
    unloadPlugin();
}

bool VTVSTHostLib::loadPlugin(const char* path, VSTMasterCallback callback, void* userData, int shellId, bool hosted)
{
    // A second load replaces the first plug-in; it is closed, not leaked.
    if (m_plugin != nullptr || m_pluginHelper.m_module != nullptr)
        unloadPlugin();
    shellPluginId = shellId;
    m_resumed = false;
    m_plugin = m_pluginHelper.loadPlugin(path, &m_host, callback, userData, hosted);
    if (m_plugin != nullptr && m_scratch.size() < static_cast<size_t>(kScratchFrames))
        m_scratch.assign(kScratchFrames, 0.0f);
    return m_plugin != nullptr;
}

void VTVSTHostLib::unloadPlugin()
{
    closePlugin();
    m_host.m_masterCallBack = nullptr;
    // The effect is gone: a later load must not find this host through it.
    StaticHandler3::removeinstance(&m_host);
    m_pluginHelper.unloadPlugin();
    m_plugin = nullptr;
}

void VTVSTHostLib::closePlugin()
{
    if (m_plugin == nullptr)
        return;
    suspendPlugin();
    AEffect* plugin = m_plugin;
    // The plug-in deletes itself on effClose: nothing may reach it after.
    m_plugin = nullptr;
    plugin->dispatcher(plugin, effClose, 0, 0, nullptr, 0.0f);
}

void VTVSTHostLib::resumePlugin()
{
    if (m_plugin == nullptr || m_resumed)
        return;
    m_resumed = true;
    m_plugin->dispatcher(m_plugin, effMainsChanged, 0, 1, nullptr, 0.0f);
}

void VTVSTHostLib::suspendPlugin()
{
    if (m_plugin == nullptr || !m_resumed)
        return;
    m_resumed = false;
    m_plugin->dispatcher(m_plugin, effMainsChanged, 0, 0, nullptr, 0.0f);
}

void VTVSTHostLib::setBlockSizeAndRate(int blockSize, float sampleRate)
{
    suspendPlugin();
    m_host.m_blockSize = blockSize;
    if (m_plugin != nullptr)
        m_plugin->dispatcher(m_plugin, effSetBlockSize, 0, static_cast<VstIntPtr>(blockSize), nullptr, 0.0f);
    m_host.m_vstTimeInfo.sampleRate = sampleRate;
    if (m_plugin != nullptr)
        m_plugin->dispatcher(m_plugin, effSetSampleRate, 0, 0, nullptr, sampleRate);
    // The scratch channels hold a whole block, so a block is never cut.
    if (blockSize > 0 && m_scratch.size() < static_cast<size_t>(blockSize))
        m_scratch.assign(static_cast<size_t>(blockSize), 0.0f);
}

// Per-cycle code is marked hot, so that it is kept together with the rest.
[[gnu::hot]] bool VTVSTHostLib::enterAudioCommunication()
{
    bInAudioThread.store(true);
    if (bLockAudioCommunication.load()) {
        bInAudioThread.store(false);
        return false;
    }
    return true;
}

[[gnu::hot]] void VTVSTHostLib::leaveAudioCommunication()
{
    bInAudioThread.store(false);
}

void VTVSTHostLib::lockAudioCommunication()
{
    bLockAudioCommunication.store(true);
    while (bInAudioThread.load())
        std::this_thread::yield();
}

void VTVSTHostLib::unlockAudioCommunication()
{
    bLockAudioCommunication.store(false);
}

[[gnu::hot]] void VTVSTHostLib::processReplacing(float** /*inputs*/, float** outputs, int sampleFrames)
{
    if (outputs == nullptr || sampleFrames <= 0 || !enterAudioCommunication())
        return;
    AEffect* plugin = m_plugin;
    if (plugin != nullptr && plugin->processReplacing != nullptr) {
        const int declared = std::max(plugin->numInputs, plugin->numOutputs);
        if (declared <= VSTPlugin::kMaxChannels && plugin->numInputs >= 0) {
            serve(plugin, declared + (declared & 1), outputs, sampleFrames);
        } else {
            // The plug-in grew past what was checked at load: it would read
            // beyond the pointer array, so it is not run and plays nothing.
            std::memset(outputs[0], 0, static_cast<size_t>(sampleFrames) * sizeof(float));
            std::memset(outputs[1], 0, static_cast<size_t>(sampleFrames) * sizeof(float));
        }
    }
    leaveAudioCommunication();
}

[[gnu::hot]] void VTVSTHostLib::serve(AEffect* plugin, int pointers, float** outputs, int sampleFrames)
{
    // The plug-in works in place: its first ten pairs point at the one
    // stereo output, which already holds its input; every further channel
    // points at the scratch buffer. Inputs and outputs are the same array.
    float* channels[VSTPlugin::kMaxChannels] = {};
    const int direct = std::min(pointers, kMaxChannelPointers);
    if (pointers <= kMaxChannelPointers) {
        for (int k = 0; k < direct; ++k)
            channels[k] = outputs[k & 1];
        plugin->processReplacing(plugin, channels, channels, sampleFrames);
        return;
    }
    // A block longer than the scratch buffer (only ever one longer than the
    // block size told to the plug-in) is handed over in parts.
    const int capacity = static_cast<int>(m_scratch.size());
    for (int done = 0; done < sampleFrames && capacity > 0; done += capacity) {
        const int frames = std::min(capacity, sampleFrames - done);
        for (int k = 0; k < direct; ++k)
            channels[k] = outputs[k & 1] + done;
        std::memset(m_scratch.data(), 0, static_cast<size_t>(frames) * sizeof(float));
        for (int k = direct; k < pointers; ++k)
            channels[k] = m_scratch.data();
        plugin->processReplacing(plugin, channels, channels, frames);
    }
}
