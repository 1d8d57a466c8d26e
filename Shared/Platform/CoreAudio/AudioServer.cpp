// The readout of the audio server behind the devices: the first provider
// with a server answers it.
#include "AudioProvider.h"

namespace vt::platform {

AudioServerReadout audioServerReadout()
{
    for (audio::Provider* provider : audio::providers()) {
        AudioServerReadout readout;
        if (provider->serverReadout(readout))
            return readout;
    }
    return AudioServerReadout{};
}

} // namespace vt::platform
