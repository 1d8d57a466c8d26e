// The virtual audio devices and MIDI endpoints of a test rig, in a home
// folder of the rig's own. A rig derives from it, so they exist before the
// rig's device layers, which list them when they are constructed.
#pragma once

#include "VTTemporaryFolder.h"
#include "VTVirtualAudio.h"
#include "VTVirtualMidi.h"

#include <string>
#include <vector>

namespace vt::testing {

struct VirtualEndpoints {
    VirtualEndpoints(const std::vector<VirtualAudioDeviceSpec>& audioSpecs, const std::vector<std::string>& sourceNames,
                     const std::vector<std::string>& destinationNames)
    {
        for (const auto& spec : audioSpecs)
            audioDevices.push_back(audioWorld.addDevice(spec));
        for (const auto& name : sourceNames)
            sources.push_back(midiWorld.addSource(MidiName::text(name)));
        for (const auto& name : destinationNames)
            destinations.push_back(midiWorld.addDestination(MidiName::text(name)));
    }

    TemporaryHome home;
    VirtualAudioWorld audioWorld;
    VirtualMidi midiWorld;
    std::vector<AudioObjectID> audioDevices;
    std::vector<MIDIEndpointRef> sources;
    std::vector<MIDIEndpointRef> destinations;
};

} // namespace vt::testing
