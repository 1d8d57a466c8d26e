// The audio server readout for a platform layer that reads no server yet:
// "no server". It sits in an archive of its own that links after the
// platform layer, so a platform that defines the readout always supplies it
// and this one is never taken.
#include <vtplatform/AudioServer.h>

__attribute__((weak)) vt::platform::AudioServerReadout vt::platform::audioServerReadout()
{
    return {};
}
