#include "VTMidiBase.h"

VTMidiBase::VTMidiBase() : m_msg(new VTMidiMsg{}) {}

VTMidiBase::~VTMidiBase()
{
    for (VTMidiDevice* device : m_devices)
        delete device;
    m_devices.clear();
    delete m_msg;
}
