// CFURL for file-system paths in POSIX style.
#include "CFURLImpl.h"
#include "CFStringImpl.h"

#include <cstring>
#include <unistd.h>

namespace vt::cf {

const __CFURL* url(CFURLRef ref)
{
    return as<__CFURL>(ref, kURLType);
}

CFURLRef createFileURL(const std::string& path, bool isDirectory)
{
    if (path.empty())
        return nullptr;
    std::string absolute = path;
    if (absolute.front() != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd) == nullptr)
            return nullptr;
        absolute = std::string(cwd) + "/" + absolute;
    }
    while (absolute.size() > 1 && absolute.back() == '/')
        absolute.pop_back();
    auto* result = new __CFURL;
    result->path = std::move(absolute);
    result->isDirectory = isDirectory;
    return result;
}

} // namespace vt::cf

extern "C" {

CFTypeID CFURLGetTypeID(void)
{
    return vt::cf::kURLType;
}

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath, CFURLPathStyle pathStyle,
                                       Boolean isDirectory)
{
    if (pathStyle != kCFURLPOSIXPathStyle)
        return nullptr;
    auto path = vt::cf::utf8(filePath);
    if (!path)
        return nullptr;
    return vt::cf::createFileURL(*path, isDirectory);
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8* buffer, CFIndex bufLen,
                                                 Boolean isDirectory)
{
    if (buffer == nullptr || bufLen <= 0)
        return nullptr;
    return vt::cf::createFileURL(std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(bufLen)),
                                 isDirectory);
}

CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef, CFURLRef url, CFStringRef pathComponent,
                                               Boolean isDirectory)
{
    const __CFURL* base = vt::cf::url(url);
    auto component = vt::cf::utf8(pathComponent);
    if (base == nullptr || !component)
        return nullptr;
    std::string joined = base->path == "/" ? "/" + *component : base->path + "/" + *component;
    return vt::cf::createFileURL(joined, isDirectory);
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, UInt8* buffer, CFIndex maxBufLen)
{
    const __CFURL* u = vt::cf::url(url);
    if (u == nullptr || buffer == nullptr || maxBufLen <= 0 || u->path.size() + 1 > static_cast<size_t>(maxBufLen))
        return false;
    std::memcpy(buffer, u->path.c_str(), u->path.size() + 1);
    return true;
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle)
{
    const __CFURL* u = vt::cf::url(anURL);
    if (u == nullptr || pathStyle != kCFURLPOSIXPathStyle)
        return nullptr;
    return vt::cf::createString(u->path);
}

Boolean CFURLHasDirectoryPath(CFURLRef anURL)
{
    const __CFURL* u = vt::cf::url(anURL);
    return u != nullptr && u->isDirectory;
}

} // extern "C"
