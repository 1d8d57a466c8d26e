// The MIDI layer as the main window holds it.
#pragma once

#include "VTCoreMidi.h"

class VTMidiLib {
public:
    // Main thread only: creates the client and lists the endpoints.
    VTMidiLib() = default;

    VTCoreMidi m_coremidi;
};
