// The devices the application falls back to when the stored ones do not
// start: the system's default output and input.
//
// Thread contract: main thread only (it sets the settings store's devices).
#pragma once

#include <vector>

struct VTAudioDevice;
class VTVSTHostRegistry;

// Walks the audio layer's list in order and sets the store's outputDevice
// and inputDevice: a default device of the Core Audio families (type bit 4
// or 16) always; otherwise a device of type bit 2 only where nothing was
// chosen yet. Stops once both are set. True when an output was chosen.
bool chooseAutomaticDevices(VTVSTHostRegistry& registry, const std::vector<VTAudioDevice*>& devices);
