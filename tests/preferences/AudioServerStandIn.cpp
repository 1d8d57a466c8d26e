// Until the platform reads an audio server, the readout links as "no
// server"; a platform that has one replaces this weak definition.
#include <vtplatform/AudioServer.h>

__attribute__((weak)) vt::platform::AudioServerReadout vt::platform::audioServerReadout()
{
    return {};
}
