// Core Foundation preferences stand-in: per-application domains kept as
// property-list files in $HOME/Library/Preferences/<domain>.plist.
//
// Thread contract: any thread; calls on one domain are serialized inside.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef CFTypeRef CFPropertyListRef;

// The value stored under key in the domain (a +1 reference), or NULL when the
// key is absent or the domain has no readable file.
CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef applicationID);

// Sets (or, with a NULL value, removes) the key in memory; the file changes
// on the next CFPreferencesAppSynchronize.
void CFPreferencesSetAppValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID);

// Writes the domain's pending changes over what the file holds now and
// picks up changes other programs made; false when the file could not be
// written, in which case the previous file is left untouched and the changes
// stay pending.
Boolean CFPreferencesAppSynchronize(CFStringRef applicationID);

#ifdef __cplusplus
}
#endif
