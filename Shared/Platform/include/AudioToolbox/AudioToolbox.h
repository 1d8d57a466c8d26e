// Audio Toolbox stand-in. One header per service, as on macOS; each adds
// only the calls, records and constants the system uses.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>

#include <AudioToolbox/AudioUnit.h>
#include <AudioToolbox/ExtendedAudioFile.h>
