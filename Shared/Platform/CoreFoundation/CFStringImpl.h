// CFString internals shared with the other stand-in files.
#pragma once

#include "CFObject.h"

#include <optional>
#include <string>

struct __CFString : vt::cf::Object {
    __CFString() : Object(vt::cf::kStringType) {}

    bool equals(const Object& other) const override { return units == static_cast<const __CFString&>(other).units; }
    CFHashCode hash() const override { return std::hash<std::u16string>{}(units); }
    bool immortal() const override { return constant; }

    // Text as macOS keeps it: UTF-16 code units, which may hold unpaired
    // surrogates that no 8-bit encoding can represent.
    std::u16string units;
    // The 8-bit text the string was made from, handed out by
    // CFStringGetCStringPtr for a compatible encoding.
    std::optional<std::string> cString;
    CFStringEncoding cStringEncoding = kCFStringEncodingInvalidId;
    bool constant = false;
};

namespace vt::cf {

// UTF-8 of a string; nullopt when it holds unpaired surrogates.
std::optional<std::string> utf8(CFStringRef string);
// A new string from UTF-8 text; null when the text is not valid UTF-8.
CFStringRef createString(const std::string& utf8Text);

} // namespace vt::cf
