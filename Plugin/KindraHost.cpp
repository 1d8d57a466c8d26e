#include "KindraHost.h"

void KindraHost::attach(audioMasterCallback callback, AEffect* effect)
{
    m_callback = callback;
    m_effect = effect;
}

VstIntPtr KindraHost::call(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) const
{
    if (m_callback == nullptr)
        return 0;
    return m_callback(m_effect, opcode, index, value, ptr, opt);
}

const VstTimeInfo* KindraHost::timeInfo() const
{
    return reinterpret_cast<const VstTimeInfo*>(
        call(audioMasterGetTime, 0, kVstPpqPosValid | kVstTempoValid, nullptr, 0.0f));
}

bool KindraHost::sendEvents(VstEvents* events) const
{
    return call(audioMasterProcessEvents, 0, 0, events, 0.0f) != 0;
}

bool KindraHost::reportBounceEnd(int frameOffset) const
{
    return call(audioMasterVTBounceProgress, 0, 1, nullptr, static_cast<float>(frameOffset)) != 0;
}

bool KindraHost::setTempo(double bpm) const
{
    return call(audioMasterVTSetTempo, 0, 0, nullptr, static_cast<float>(bpm)) != 0;
}

bool KindraHost::setTransport(bool playing) const
{
    return call(audioMasterVTSetTransport, playing ? 1 : 0, 0, nullptr, 0.0f) != 0;
}

bool KindraHost::sizeWindow(int width, int height) const
{
    return call(audioMasterSizeWindow, width, height, nullptr, 0.0f) != 0;
}
