// What the JACK audio and MIDI providers share: opening a client on the
// server the environment names, never starting one.
#pragma once

#include <jack/jack.h>

#include <string>

namespace vt::platform::jack {

// The server a client opens on now: JACK_DEFAULT_SERVER, or "default".
std::string serverName();
// The application's bundle name (CFBundleName), "Kindra" without one.
std::string applicationName();
// Main thread: a client of that name on the running server, or null at
// once when none runs. The server may give it a name of its own.
jack_client_t* openClient(const std::string& name);

} // namespace vt::platform::jack
