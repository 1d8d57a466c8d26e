// The Kindra plug-in wired to an engine as the main window wires it, with
// the JACK server's "system" group as the output device; shared by the JACK
// tests and the JACK benchmark. Needs KINDRA_PLUGIN_BUNDLE.
#pragma once

#include "VTAudioLib.h"
#include "VTMidiLib.h"
#include "VTVSTHostInterface.h"
#include "VTVSTHostLib.h"
#include "VTVSTHostRegistry.h"

#include <cstdlib>

struct KindraOnJack {
    KindraOnJack()
    {
        unsetenv("DISPLAY"); // no editor is opened
        loaded = lib.loadPlugin(KINDRA_PLUGIN_BUNDLE, nullptr, nullptr, 0, false);
        engine.m_vstLib = &lib;
        engine.m_audioLib = &audio;
        engine.m_midiLib = &midi;
        engine.m_registry = &registry;
        for (VTAudioDevice* device : audio.devices())
            if (device->name == "system" && !device->isInput)
                registry.outputDevice = device;
        registry.mergeMidiDevices(midi.m_coremidi.m_devices);
    }

    bool loaded = false;
    VTVSTHostLib lib;
    VTAudioLib audio;
    VTMidiLib midi;
    VTVSTHostRegistry registry{"Kindra", true};
    // Last, so that it stops its stream before the rest goes.
    VTVSTHostInterface engine;
};
