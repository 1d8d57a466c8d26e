#include "AutomaticDeviceChoice.h"

#include "VTAudioDevice.h"
#include "VTVSTHostRegistry.h"

namespace {

constexpr uint32_t kDefaultFamilies = 4 | 16;
constexpr uint32_t kOtherFamily = 2;

} // namespace

bool chooseAutomaticDevices(VTVSTHostRegistry& registry, const std::vector<VTAudioDevice*>& devices)
{
    bool outputChosen = false;
    for (VTAudioDevice* device : devices) {
        if (registry.inputDevice != nullptr && registry.outputDevice != nullptr)
            break;
        if (device == nullptr)
            continue;
        if (device->isDefault && (device->type & kDefaultFamilies) != 0) {
            if (device->isInput) {
                registry.inputDevice = device;
            } else {
                registry.outputDevice = device;
                outputChosen = true;
            }
        } else if ((device->type & kOtherFamily) != 0) {
            if (device->isInput && registry.inputDevice == nullptr) {
                registry.inputDevice = device;
            } else if (!device->isInput && !outputChosen) {
                registry.outputDevice = device;
                outputChosen = true;
            }
        }
    }
    return outputChosen;
}
