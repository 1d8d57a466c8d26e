#include "VSTHost.h"

#include "VSTPlugin.h"

#include <cstring>

int StaticHandler3::instancecounter3 = 0;
VSTHost** StaticHandler3::classlist3 = nullptr;
AEffect** StaticHandler3::identlist3 = nullptr;

namespace {

constexpr VstIntPtr kVstVersion = 2400;

// The most events of one list the host passes on; a longer list is not
// believed (its count is corrupt).
constexpr VstInt32 kMaxForwardedEvents = 4096;
// The bytes of a MIDI event after its type and size fields: the smallest
// record that still holds the MIDI bytes.
constexpr VstInt32 kMinMidiEventBytes = static_cast<VstInt32>(sizeof(VstMidiEvent) - 2 * sizeof(VstInt32));

// Capabilities the host answers yes to.
const char* const kHostCanDo[] = {"supplyIdle",      "sendVstEvents",    "sendVstMidiEvent",
                                  "sendVstTimeInfo", "receiveVstEvents", "receiveVstMidiEvent",
                                  "supportShell",    "shellCategory",    "sizeWindow"};

VstIntPtr copyString(void* destination, const char* text)
{
    if (destination == nullptr)
        return 0;
    std::memcpy(destination, text, std::strlen(text) + 1);
    return 1;
}

// The frame offset a plug-in reports, truncated; a value no int can hold
// (NaN, out of range) reads as 0 rather than as undefined behaviour.
int truncateToInt(float value)
{
    if (!(value > -2147483648.0f && value < 2147483648.0f))
        return 0;
    return static_cast<int>(value);
}

} // namespace

int StaticHandler3::setnewinstance(VSTHost* host, AEffect* effect)
{
    auto** hosts = new VSTHost*[instancecounter3 + 1];
    auto** effects = new AEffect*[instancecounter3 + 1];
    for (int i = 0; i < instancecounter3; ++i) {
        hosts[i] = classlist3[i];
        effects[i] = identlist3[i];
    }
    hosts[instancecounter3] = host;
    effects[instancecounter3] = effect;
    delete[] classlist3;
    delete[] identlist3;
    classlist3 = hosts;
    identlist3 = effects;
    return instancecounter3++;
}

void StaticHandler3::removeinstance(VSTHost* host)
{
    for (int i = 0; i < instancecounter3; ++i) {
        if (classlist3[i] != host)
            continue;
        for (int k = i; k + 1 < instancecounter3; ++k) {
            classlist3[k] = classlist3[k + 1];
            identlist3[k] = identlist3[k + 1];
        }
        if (--instancecounter3 == 0) {
            delete[] classlist3;
            delete[] identlist3;
            classlist3 = nullptr;
            identlist3 = nullptr;
        }
        return;
    }
}

// Per-cycle code is marked hot, so that it is kept together with the rest.
[[gnu::hot]] VSTHost* StaticHandler3::hostFor(const AEffect* effect)
{
    if (effect == nullptr)
        return nullptr;
    for (int i = 0; i < instancecounter3; ++i)
        if (identlist3[i] == effect)
            return classlist3[i];
    return nullptr;
}

VSTHost::VSTHost()
{
    m_vstTimeInfo = VstTimeInfo{};
    m_vstTimeInfo.sampleRate = 44100.0;
    m_vstTimeInfo.tempo = 120.0;
    m_vstTimeInfo.timeSigNumerator = 4;
    m_vstTimeInfo.timeSigDenominator = 4;
    m_vstTimeInfo.smpteFrameRate = 1;
    m_vstTimeInfo.flags = kVstPpqPosValid | kVstTempoValid;
}

VSTHost::~VSTHost()
{
    StaticHandler3::removeinstance(this);
}

int VSTHost::setStaticHandler(AEffect* effect)
{
    return StaticHandler3::setnewinstance(this, effect);
}

void VSTHost::setPlayStatus(bool playing)
{
    if (playing)
        m_vstTimeInfo.flags |= kVstTransportPlaying;
    else
        m_vstTimeInfo.flags &= ~kVstTransportPlaying;
}

bool VSTHost::getPlayStatus() const
{
    return (m_vstTimeInfo.flags & kVstTransportPlaying) != 0;
}

[[gnu::hot]] VstIntPtr VSTHost::AudioMasterCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                    void* ptr, float opt)
{
    VSTHost* host = StaticHandler3::hostFor(effect);
    // A caller's own callback answers everything but the shell id.
    if (host != nullptr && host->m_masterCallBack != nullptr && opcode != audioMasterCurrentId)
        return host->m_masterCallBack(host->m_masterCallBackData, opcode, index, value, ptr, opt);

    switch (opcode) {
    case audioMasterVersion:
        return kVstVersion;
    case audioMasterCurrentId:
        return shellPluginId;
    case audioMasterGetVendorString:
        return copyString(ptr, "Veltrane");
    case audioMasterGetProductString:
        return copyString(ptr, "Veltrane Standalone");
    case audioMasterCanDo:
        if (ptr == nullptr)
            return 0;
        for (const char* capability : kHostCanDo)
            if (std::strcmp(static_cast<const char*>(ptr), capability) == 0)
                return 1;
        return 0;
    case audioMasterVTSetTransport:
        if (host == nullptr)
            return 1;
        // The audio thread owns the time information while the engine runs:
        // the request goes to it like every other transport request.
        if (host->m_playStatusCallback != nullptr) {
            host->m_playStatusCallback(index != 0, host->m_playStatusCustomData);
        } else {
            host->setPlayStatus(index != 0);
            host->m_vstTimeInfo.ppqPos = 0;
        }
        return 1;
    default:
        return host != nullptr ? host->answer(opcode, index, value, ptr, opt) : 0;
    }
}

// The requests that need a registered host.
[[gnu::hot]] VstIntPtr VSTHost::answer(VstInt32 opcode, VstInt32, VstIntPtr value, void* ptr, float opt)
{
    switch (opcode) {
    case audioMasterGetTime:
        return reinterpret_cast<VstIntPtr>(&m_vstTimeInfo);
    case audioMasterGetSampleRate:
        return static_cast<VstIntPtr>(m_vstTimeInfo.sampleRate);
    case audioMasterGetBlockSize:
        return m_blockSize;
    case audioMasterProcessEvents: {
        // The list is the plug-in's: a count out of range, a missing entry or
        // a record too short to hold MIDI bytes is never read.
        auto* events = static_cast<VstEvents*>(ptr);
        if (events == nullptr || m_midiCallback == nullptr || events->numEvents < 0 ||
            events->numEvents > kMaxForwardedEvents)
            return 0;
        VstIntPtr forwarded = 0;
        for (VstInt32 i = 0; i < events->numEvents; ++i) {
            VstEvent* event = events->events[i];
            if (event != nullptr && event->type == kVstMidiType && event->byteSize >= kMinMidiEventBytes) {
                m_midiCallback(reinterpret_cast<VstMidiEvent*>(event), m_midiCustomData);
                forwarded = 1;
            }
        }
        return forwarded;
    }
    case audioMasterSizeWindow:
        if (m_SizeChangedCallback == nullptr)
            return 0;
        m_SizeChangedCallback(m_m_SizeChangedData);
        return 1;
    case audioMasterVTSetTempo:
        if (m_tempoCallback == nullptr)
            return 0;
        m_tempoCallback(static_cast<double>(opt), m_tempoCustomData);
        return 1;
    case audioMasterVTBounceProgress:
        if (m_bounceDoneCallback == nullptr)
            return 0;
        m_bounceDoneCallback(value != 0, truncateToInt(opt), m_bounceDoneCustomData);
        return 1;
    default:
        return 0;
    }
}

VstIntPtr VSTHost::AudioMasterCallbackHostedPlugin(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                   void* ptr, float opt)
{
    if (opcode == audioMasterGetProductString)
        return copyString(ptr, "Veltrane Hoster");
    return AudioMasterCallback(effect, opcode, index, value, ptr, opt);
}
