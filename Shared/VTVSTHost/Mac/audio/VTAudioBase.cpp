#include "VTAudioBase.h"

VTAudioBase::~VTAudioBase()
{
    clear();
}

void VTAudioBase::clear()
{
    for (VTAudioDevice* device : m_devices)
        delete device;
    m_devices.clear();
}
