// Conversion between Core Foundation objects and property-list files
// (libplist), used by bundles for Info.plist and by the preferences.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>

namespace vt::cf {

enum class PlistReadResult { ok, missing, unreadable, malformed };

// Reads an XML or binary property list; on ok, *out holds a +1 reference.
PlistReadResult readPropertyListFile(const std::string& path, CFTypeRef* out);

// XML text of a property list made of strings, numbers, booleans, data,
// arrays and dictionaries with string keys; false when something else is
// met.
bool propertyListToXML(CFTypeRef root, std::string& xml);

} // namespace vt::cf
