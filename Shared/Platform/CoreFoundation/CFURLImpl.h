// CFURL internals: a file URL is an absolute POSIX path.
#pragma once

#include "CFObject.h"

#include <string>

struct __CFURL : vt::cf::Object {
    __CFURL() : Object(vt::cf::kURLType) {}
    bool equals(const Object& other) const override
    {
        const auto& o = static_cast<const __CFURL&>(other);
        return path == o.path && isDirectory == o.isDirectory;
    }
    CFHashCode hash() const override { return std::hash<std::string>{}(path); }

    std::string path; // absolute, without a trailing separator (except "/")
    bool isDirectory = false;
};

namespace vt::cf {

const __CFURL* url(CFURLRef ref);
// A new file URL for an absolute or relative (to the working folder) path.
CFURLRef createFileURL(const std::string& path, bool isDirectory);

} // namespace vt::cf
