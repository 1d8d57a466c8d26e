// CFBundle: macOS bundle folders on Linux. The executable is loaded with
// dlopen; Contents/Info.plist is read through libplist.
#include "CFPropertyListImpl.h"
#include "CFStringImpl.h"
#include "CFURLImpl.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>

namespace {

std::mutex& cacheMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Open bundles by folder, so that a second create gives the same object.
std::map<std::string, __CFBundle*>& bundleCache()
{
    static std::map<std::string, __CFBundle*> cache;
    return cache;
}

bool isDirectory(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string lastComponentWithoutExtension(const std::string& path)
{
    std::string name = path.substr(path.find_last_of('/') + 1);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

} // namespace

struct __CFBundle : vt::cf::Object {
    __CFBundle() : Object(vt::cf::kBundleType) {}
    ~__CFBundle() override
    {
        if (handle != nullptr)
            dlclose(handle);
        if (info != nullptr)
            CFRelease(info);
    }

    bool immortal() const override { return isMain; }

    void lastReleased() override
    {
        {
            std::lock_guard<std::mutex> lock(cacheMutex());
            // A create may have found and retained it again meanwhile.
            if (retainCount.load() > 0)
                return;
            bundleCache().erase(path);
        }
        delete this;
    }

    std::string executablePath() const
    {
        if (isMain && !isBundleFolder)
            return mainExecutable;
        std::string name;
        if (auto value = CFDictionaryGetValue(info, kCFBundleExecutableKey);
            value != nullptr && CFGetTypeID(value) == CFStringGetTypeID())
            name = vt::cf::utf8(static_cast<CFStringRef>(value)).value_or("");
        if (name.empty())
            name = lastComponentWithoutExtension(path);
        return path + "/Contents/MacOS/" + name;
    }

    void readInfo()
    {
        CFTypeRef loaded = nullptr;
        if (vt::cf::readPropertyListFile(path + "/Contents/Info.plist", &loaded) == vt::cf::PlistReadResult::ok &&
            CFGetTypeID(loaded) == CFDictionaryGetTypeID()) {
            info = static_cast<CFDictionaryRef>(loaded);
            return;
        }
        if (loaded != nullptr)
            CFRelease(loaded);
        info = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    }

    std::string path;
    CFDictionaryRef info = nullptr;
    void* handle = nullptr;
    bool isMain = false;
    bool isBundleFolder = true;
    std::string mainExecutable;
};

namespace {

__CFBundle* bundle(CFBundleRef ref)
{
    return const_cast<__CFBundle*>(vt::cf::as<__CFBundle>(ref, vt::cf::kBundleType));
}

CFURLRef urlInBundle(CFBundleRef ref, const char* relative)
{
    __CFBundle* b = bundle(ref);
    if (b == nullptr)
        return nullptr;
    return vt::cf::createFileURL(b->path + relative, true);
}

} // namespace

extern "C" {

const CFStringRef kCFBundleNameKey = CFSTR("CFBundleName");
const CFStringRef kCFBundleExecutableKey = CFSTR("CFBundleExecutable");
const CFStringRef kCFBundleIdentifierKey = CFSTR("CFBundleIdentifier");
const CFStringRef kCFBundleVersionKey = CFSTR("CFBundleVersion");

CFTypeID CFBundleGetTypeID(void)
{
    return vt::cf::kBundleType;
}

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL)
{
    const __CFURL* u = vt::cf::url(bundleURL);
    if (u == nullptr || !isDirectory(u->path))
        return nullptr;
    char resolved[PATH_MAX];
    std::string path = realpath(u->path.c_str(), resolved) != nullptr ? std::string(resolved) : u->path;

    std::lock_guard<std::mutex> lock(cacheMutex());
    auto found = bundleCache().find(path);
    if (found != bundleCache().end()) {
        CFRetain(found->second);
        return found->second;
    }
    auto* created = new __CFBundle;
    created->path = path;
    created->readInfo();
    bundleCache().emplace(path, created);
    return created;
}

CFBundleRef CFBundleGetMainBundle(void)
{
    static __CFBundle* mainBundle = [] {
        auto* created = new __CFBundle;
        created->isMain = true;
        char exe[PATH_MAX];
        ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
        std::string exePath = length > 0 ? std::string(exe, static_cast<size_t>(length)) : std::string();
        std::string folder = exePath.substr(0, exePath.find_last_of('/'));
        const std::string macos = "/Contents/MacOS";
        if (folder.size() > macos.size() && folder.compare(folder.size() - macos.size(), macos.size(), macos) == 0) {
            created->path = folder.substr(0, folder.size() - macos.size());
        } else {
            // A bare executable's bundle is the folder it lies in, as on macOS.
            created->path = folder;
            created->isBundleFolder = false;
        }
        created->mainExecutable = exePath;
        created->readInfo();
        return created;
    }();
    return mainBundle;
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundleRef)
{
    __CFBundle* b = bundle(bundleRef);
    return b == nullptr ? nullptr : vt::cf::createFileURL(b->path, true);
}

CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundleRef)
{
    __CFBundle* b = bundle(bundleRef);
    return b == nullptr ? nullptr : vt::cf::createFileURL(b->executablePath(), false);
}

CFURLRef CFBundleCopyBuiltInPlugInsURL(CFBundleRef bundleRef)
{
    return urlInBundle(bundleRef, "/Contents/PlugIns");
}

CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundleRef)
{
    return urlInBundle(bundleRef, "/Contents/Resources");
}

CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundleRef)
{
    __CFBundle* b = bundle(bundleRef);
    return b == nullptr ? nullptr : b->info;
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundleRef, CFStringRef key)
{
    __CFBundle* b = bundle(bundleRef);
    return b == nullptr ? nullptr : CFDictionaryGetValue(b->info, key);
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundleRef)
{
    CFTypeRef value = CFBundleGetValueForInfoDictionaryKey(bundleRef, kCFBundleIdentifierKey);
    return value != nullptr && CFGetTypeID(value) == CFStringGetTypeID() ? static_cast<CFStringRef>(value) : nullptr;
}

Boolean CFBundleLoadExecutable(CFBundleRef bundleRef)
{
    __CFBundle* b = bundle(bundleRef);
    if (b == nullptr)
        return false;
    if (b->handle != nullptr)
        return true;
    if (b->isMain) {
        b->handle = dlopen(nullptr, RTLD_NOW);
        return b->handle != nullptr;
    }
    b->handle = dlopen(b->executablePath().c_str(), RTLD_NOW | RTLD_LOCAL);
    return b->handle != nullptr;
}

Boolean CFBundleIsExecutableLoaded(CFBundleRef bundleRef)
{
    __CFBundle* b = bundle(bundleRef);
    return b != nullptr && b->handle != nullptr;
}

void CFBundleUnloadExecutable(CFBundleRef bundleRef)
{
    __CFBundle* b = bundle(bundleRef);
    if (b == nullptr || b->handle == nullptr || b->isMain)
        return;
    dlclose(b->handle);
    b->handle = nullptr;
}

void* CFBundleGetFunctionPointerForName(CFBundleRef bundleRef, CFStringRef functionName)
{
    __CFBundle* b = bundle(bundleRef);
    auto name = vt::cf::utf8(functionName);
    if (b == nullptr || !name)
        return nullptr;
    // As on macOS, asking for a function loads the executable first.
    if (b->handle == nullptr && !CFBundleLoadExecutable(bundleRef))
        return nullptr;
    return dlsym(b->handle, name->c_str());
}

} // extern "C"
