// Preferences domains as property-list files. Nothing may be lost: a write
// goes to a temporary file in the same folder that is flushed to disk and
// then renamed over the old file, and a file that cannot be parsed is moved
// aside instead of being overwritten. A writer holds an exclusive lock on
// its temporary file from creation until the rename, so the temporary files
// of writers that died (a crash, a kill) are told from those of running
// writers and removed when a domain is first read.
#include "CFPreferencesImpl.h"
#include "CFPropertyListImpl.h"
#include "CFStringImpl.h"

#include <vtplatform/FileSystemRoot.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using vt::platform::detail::PreferencesWriteStep;

struct CFHolder {
    CFTypeRef ref = nullptr;
    CFHolder() = default;
    explicit CFHolder(CFTypeRef r) : ref(r) {}
    ~CFHolder() { reset(); }
    CFHolder(const CFHolder&) = delete;
    CFHolder& operator=(const CFHolder&) = delete;
    void reset(CFTypeRef r = nullptr)
    {
        if (ref != nullptr)
            CFRelease(ref);
        ref = r;
    }
};

CFMutableDictionaryRef newDictionary()
{
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

// One domain as this process sees it: the values last read or written plus
// the keys changed since the last synchronize.
struct Domain {
    Domain() : values(newDictionary()), pendingSets(newDictionary()), pendingRemovals(newDictionary()) {}
    ~Domain()
    {
        CFRelease(values);
        CFRelease(pendingSets);
        CFRelease(pendingRemovals);
    }
    Domain(const Domain&) = delete;
    Domain& operator=(const Domain&) = delete;

    CFMutableDictionaryRef values;
    CFMutableDictionaryRef pendingSets;
    CFMutableDictionaryRef pendingRemovals; // key -> kCFBooleanTrue
    bool loaded = false;
    // A file is in the way that could be neither read nor moved aside;
    // writing would destroy it, so the domain stays read-only.
    bool blocked = false;
};

struct Store {
    std::mutex mutex;
    // Keyed by file path, so a change of HOME gives a fresh domain.
    std::map<std::string, Domain> domains;
};

Store& store()
{
    static Store instance;
    return instance;
}

std::atomic<PreferencesWriteStep> writeFailure{PreferencesWriteStep::none};

bool failsAt(PreferencesWriteStep step)
{
    return writeFailure.load(std::memory_order_relaxed) == step;
}

// The file of a domain; empty when the name could leave the preferences
// folder or no home folder is known.
std::string domainPath(CFStringRef applicationID)
{
    if (applicationID == nullptr || CFGetTypeID(applicationID) != CFStringGetTypeID())
        return {};
    auto name = vt::cf::utf8(applicationID);
    if (!name || name->empty() || name->front() == '.' || name->find('/') != std::string::npos ||
        name->find('\0') != std::string::npos)
        return {};
    std::string home = vt::platform::homeFolder();
    if (home.empty())
        return {};
    return home + "/Library/Preferences/" + *name + ".plist";
}

bool exists(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// Keeps an unreadable file under the same name with a suffix that no earlier
// file uses.
bool moveAside(const std::string& path)
{
    std::string aside = path + ".corrupt";
    for (int n = 1; exists(aside); ++n) {
        if (n > 1000)
            return false;
        aside = path + ".corrupt." + std::to_string(n);
    }
    return std::rename(path.c_str(), aside.c_str()) == 0;
}

// What the file holds now: a +1 dictionary (empty when there is no usable
// file), or null when a file is in the way that must not be overwritten.
CFMutableDictionaryRef readDomainFile(const std::string& path)
{
    CFTypeRef root = nullptr;
    auto result = vt::cf::readPropertyListFile(path, &root);
    CFHolder holder(root);
    if (result == vt::cf::PlistReadResult::ok && CFGetTypeID(root) == CFDictionaryGetTypeID())
        return CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(root));
    if (result == vt::cf::PlistReadResult::missing && !exists(path))
        return newDictionary();
    // Present but not a dictionary we can read: keep it for the user and
    // start from an empty domain.
    if (!moveAside(path))
        return nullptr;
    return newDictionary();
}

// The temporary files of a domain file are named as mkstemp names them:
// "<file>.XXXXXX".
constexpr size_t kTemporarySuffixLength = 6;

bool isTemporaryOf(const std::string& name, const std::string& fileName)
{
    if (name.size() != fileName.size() + 1 + kTemporarySuffixLength ||
        name.compare(0, fileName.size(), fileName) != 0 || name[fileName.size()] != '.')
        return false;
    for (size_t i = fileName.size() + 1; i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes the temporary files that writers no longer running left beside
// the domain's file. One whose lock is held belongs to a writer that may
// still rename it and stays.
void removeAbandonedTemporaries(const std::string& path)
{
    const std::filesystem::path file(path);
    const std::string fileName = file.filename().string();
    std::error_code error;
    for (std::filesystem::directory_iterator it(file.parent_path(), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!isTemporaryOf(name, fileName))
            continue;
        const std::string candidate = it->path().string();
        int fd = ::open(candidate.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened;
        struct stat named;
        // Still the file that was opened (not renamed into place meanwhile,
        // not a new writer's file of the same name) and nobody holds it.
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
            lstat(candidate.c_str(), &named) == 0 && sameFile(opened, named))
            ::unlink(candidate.c_str());
        ::close(fd);
    }
}

void loadIfNeeded(Domain& domain, const std::string& path)
{
    if (domain.loaded)
        return;
    domain.loaded = true;
    removeAbandonedTemporaries(path);
    CFMutableDictionaryRef values = readDomainFile(path);
    if (values == nullptr) {
        domain.blocked = true;
        return;
    }
    CFRelease(domain.values);
    domain.values = values;
}

bool writeAll(int fd, const char* bytes, size_t length)
{
    while (length > 0) {
        ssize_t written = ::write(fd, bytes, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

// A new temporary file beside path, created and locked; -1 when none could
// be made. A store starting in another process may remove an unlocked one
// in the moment between creation and lock: then another name is tried.
int createLockedTemporary(const std::string& path, std::string& temporary)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        temporary = path + ".XXXXXX";
        int fd = mkostemp(temporary.data(), O_CLOEXEC);
        if (fd < 0)
            return -1;
        struct stat opened;
        struct stat named;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &opened) == 0 && lstat(temporary.c_str(), &named) == 0 &&
            sameFile(opened, named))
            return fd;
        ::close(fd);
    }
    return -1;
}

// Replaces the file in one rename, so readers and a crash see either the old
// file or the complete new one.
bool writeFileAtomically(const std::string& path, const std::string& contents)
{
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        return false;
    if (failsAt(PreferencesWriteStep::createTemporary))
        return false;
    std::string temporary;
    int fd = createLockedTemporary(path, temporary);
    if (fd < 0)
        return false;
    // The descriptor, and with it the lock, stays open until the file has
    // its final name.
    auto fail = [&] {
        ::unlink(temporary.c_str());
        ::close(fd);
        return false;
    };
    fchmod(fd, 0600);
    if (failsAt(PreferencesWriteStep::writeContents)) {
        // A full disk: part of the text arrives, the rest does not.
        writeAll(fd, contents.data(), contents.size() / 2);
        return fail();
    }
    if (!writeAll(fd, contents.data(), contents.size()))
        return fail();
    if (failsAt(PreferencesWriteStep::flushToDisk) || fsync(fd) != 0)
        return fail();
    if (failsAt(PreferencesWriteStep::replaceFile) || std::rename(temporary.c_str(), path.c_str()) != 0)
        return fail();
    if (::close(fd) != 0)
        return false;
    // Make the rename itself durable.
    int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (folderFd >= 0) {
        fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

void applySet(const void* key, const void* value, void* context)
{
    CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(context), key, value);
}

void applyRemoval(const void* key, const void*, void* context)
{
    CFDictionaryRemoveValue(static_cast<CFMutableDictionaryRef>(context), key);
}

bool synchronize(Domain& domain, const std::string& path)
{
    loadIfNeeded(domain, path);
    if (domain.blocked)
        return false;
    // Start from what the file holds now, so keys other programs changed
    // since we read it survive, and lay this process's changes over it.
    CFMutableDictionaryRef merged = readDomainFile(path);
    if (merged == nullptr) {
        domain.blocked = true;
        return false;
    }
    CFDictionaryApplyFunction(domain.pendingRemovals, applyRemoval, merged);
    CFDictionaryApplyFunction(domain.pendingSets, applySet, merged);
    bool changed = CFDictionaryGetCount(domain.pendingSets) > 0 || CFDictionaryGetCount(domain.pendingRemovals) > 0;
    if (changed) {
        std::string xml;
        if (!vt::cf::propertyListToXML(merged, xml) || !writeFileAtomically(path, xml)) {
            // Keep the changes pending and visible; the next synchronize
            // tries again.
            CFRelease(domain.values);
            domain.values = merged;
            return false;
        }
        CFDictionaryRemoveAllValues(domain.pendingSets);
        CFDictionaryRemoveAllValues(domain.pendingRemovals);
    }
    CFRelease(domain.values);
    domain.values = merged;
    return true;
}

bool isStorable(CFTypeRef value)
{
    CFTypeID type = CFGetTypeID(value);
    return type == CFStringGetTypeID() || type == CFNumberGetTypeID() || type == CFBooleanGetTypeID() ||
           type == CFDataGetTypeID() || type == CFArrayGetTypeID() || type == CFDictionaryGetTypeID();
}

} // namespace

namespace vt::platform::detail {

std::atomic<PreferencesWriteStep>& preferencesWriteFailure()
{
    return writeFailure;
}

void forgetPreferences()
{
    std::lock_guard<std::mutex> lock(store().mutex);
    store().domains.clear();
}

} // namespace vt::platform::detail

extern "C" {

CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef applicationID)
{
    if (key == nullptr || CFGetTypeID(key) != CFStringGetTypeID())
        return nullptr;
    std::string path = domainPath(applicationID);
    if (path.empty())
        return nullptr;
    std::lock_guard<std::mutex> lock(store().mutex);
    Domain& domain = store().domains[path];
    loadIfNeeded(domain, path);
    const void* value = CFDictionaryGetValue(domain.values, key);
    return value != nullptr ? CFRetain(value) : nullptr;
}

void CFPreferencesSetAppValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID)
{
    if (key == nullptr || CFGetTypeID(key) != CFStringGetTypeID())
        return;
    if (value != nullptr && !isStorable(value))
        return;
    std::string path = domainPath(applicationID);
    if (path.empty())
        return;
    // Collections are copied, so a caller that keeps changing its own
    // dictionary does not change what is stored.
    CFHolder stored;
    if (value != nullptr && CFGetTypeID(value) == CFDictionaryGetTypeID())
        stored.reset(CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(value)));
    else if (value != nullptr)
        stored.reset(CFRetain(value));
    std::lock_guard<std::mutex> lock(store().mutex);
    Domain& domain = store().domains[path];
    loadIfNeeded(domain, path);
    if (stored.ref == nullptr) {
        CFDictionaryRemoveValue(domain.values, key);
        CFDictionaryRemoveValue(domain.pendingSets, key);
        CFDictionarySetValue(domain.pendingRemovals, key, kCFBooleanTrue);
    } else {
        CFDictionarySetValue(domain.values, key, stored.ref);
        CFDictionarySetValue(domain.pendingSets, key, stored.ref);
        CFDictionaryRemoveValue(domain.pendingRemovals, key);
    }
}

Boolean CFPreferencesAppSynchronize(CFStringRef applicationID)
{
    std::string path = domainPath(applicationID);
    if (path.empty())
        return false;
    std::lock_guard<std::mutex> lock(store().mutex);
    return synchronize(store().domains[path], path);
}

} // extern "C"
