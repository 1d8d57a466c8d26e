// The Foundation stand-in: strings, URLs, files, the bundle, user defaults,
// dates, the scanner, notifications and the main queue. No Qt here.
#include "ModalPresenter.h"

#include <CoreFoundation/CoreFoundation.h>
#include <AVFoundation/AVFoundation.h>
#include <Foundation/Foundation.h>
#include <vtplatform/RunLoop.h>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace {

// ------------------------------------------------------------- UTF-8 text
bool isValidUtf8(const std::string& text)
{
    size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t extra;
        uint32_t codePoint;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            codePoint = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            codePoint = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            codePoint = c & 0x07;
        } else {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            if (i + k >= text.size())
                return false;
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        static const uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
        if (codePoint < smallest[extra] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::u16string utf16(const std::string& text)
{
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        uint32_t codePoint = c;
        size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : 3;
        if (extra > 0)
            codePoint = c & (0x3F >> extra);
        for (size_t k = 1; k <= extra && i + k < text.size(); ++k)
            codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += extra + 1;
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(codePoint));
        }
    }
    return out;
}

std::string stringOf(CFStringRef string)
{
    if (string == nullptr)
        return {};
    CFIndex size = CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8) + 1;
    std::string buffer(static_cast<size_t>(size), '\0');
    if (!CFStringGetCString(string, buffer.data(), size, kCFStringEncodingUTF8))
        return {};
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

NSString pathOf(CFURLRef url)
{
    if (url == nullptr)
        return {};
    CFStringRef path = CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle);
    CFRelease(url);
    if (path == nullptr)
        return {};
    NSString result(stringOf(path));
    CFRelease(path);
    return result;
}

// ----------------------------------------------------------- notifications
struct Observation {
    id observer;
    NSNotificationName name;
    id object;
    std::function<void(NSNotification*)> call;
    bool removed = false;
};

std::vector<std::shared_ptr<Observation>>& observations()
{
    // Never destroyed: objects may die after static destruction began.
    static auto* list = new std::vector<std::shared_ptr<Observation>>;
    return *list;
}

// ------------------------------------------------------ delayed selectors
struct PendingCall {
    NSObject* target;
    std::function<void()> call;
    CFRunLoopTimerRef timer = nullptr;
};

std::multimap<NSObject*, PendingCall*>& pendingCalls()
{
    static auto* calls = new std::multimap<NSObject*, PendingCall*>;
    return *calls;
}

void forgetPendingCall(PendingCall* pending)
{
    auto range = pendingCalls().equal_range(pending->target);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == pending) {
            pendingCalls().erase(it);
            return;
        }
    }
}

void firePendingCall(CFRunLoopTimerRef, void* info)
{
    auto* pending = static_cast<PendingCall*>(info);
    forgetPendingCall(pending);
    std::function<void()> call = std::move(pending->call);
    CFRunLoopTimerInvalidate(pending->timer);
    CFRelease(pending->timer);
    delete pending;
    call();
}

} // namespace

// ------------------------------------------------------------------ NSObject
NSObject::~NSObject()
{
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    auto range = pendingCalls().equal_range(this);
    std::vector<PendingCall*> cancelled;
    for (auto it = range.first; it != range.second; ++it)
        cancelled.push_back(it->second);
    pendingCalls().erase(range.first, range.second);
    for (PendingCall* pending : cancelled) {
        CFRunLoopTimerInvalidate(pending->timer);
        CFRelease(pending->timer);
        delete pending;
    }
}

void NSObject::performAfterDelay(std::function<void()> call, NSTimeInterval delay)
{
    auto* pending = new PendingCall{this, std::move(call)};
    CFRunLoopTimerContext context{0, pending, nullptr, nullptr, nullptr};
    pending->timer = CFRunLoopTimerCreate(nullptr, CFAbsoluteTimeGetCurrent() + std::max(delay, 0.0), 0, 0, 0,
                                          firePendingCall, &context);
    pendingCalls().emplace(this, pending);
    CFRunLoopAddTimer(CFRunLoopGetMain(), pending->timer, kCFRunLoopCommonModes);
}

// ------------------------------------------------------------------ NSString
NSString::NSString(const char* utf8)
{
    if (utf8 != nullptr && isValidUtf8(utf8)) {
        m_text = utf8;
        m_valid = true;
    }
}

NSString::NSString(std::string utf8)
{
    if (isValidUtf8(utf8)) {
        m_text = std::move(utf8);
        m_valid = true;
    }
}

NSString NSString::stringWithUTF8String(const char* utf8)
{
    return NSString(utf8);
}

NSUInteger NSString::length() const
{
    return utf16(m_text).size();
}

unichar NSString::characterAtIndex(NSUInteger index) const
{
    std::u16string units = utf16(m_text);
    return index < units.size() ? units[index] : 0;
}

namespace {

// A path without the trailing slashes that name no component.
std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

NSString NSString::lastPathComponent() const
{
    if (!m_valid)
        return {};
    std::string path = withoutTrailingSlashes(m_text);
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || path == "/")
        return NSString(path);
    return NSString(path.substr(slash + 1));
}

NSString NSString::stringByDeletingLastPathComponent() const
{
    if (!m_valid)
        return {};
    std::string path = withoutTrailingSlashes(m_text);
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return NSString("");
    if (slash == 0)
        return NSString("/");
    return NSString(path.substr(0, slash));
}

NSString NSString::pathExtension() const
{
    NSString last = lastPathComponent();
    size_t dot = last.m_text.find_last_of('.');
    if (!m_valid || dot == std::string::npos || dot == 0)
        return m_valid ? NSString("") : NSString();
    return NSString(last.m_text.substr(dot + 1));
}

NSString NSString::format_(const char* format, const FormatArgument* arguments, size_t count)
{
    if (format == nullptr)
        return {};
    std::string out;
    size_t next = 0;
    const char* p = format;
    while (*p != '\0') {
        if (*p != '%') {
            out.push_back(*p++);
            continue;
        }
        const char* start = p++;
        if (*p == '%') {
            out.push_back('%');
            ++p;
            continue;
        }
        // Flags, width and precision are kept; length modifiers are dropped
        // and replaced by the argument's own width.
        std::string spec(1, '%');
        while (*p != '\0' && std::strchr("-+ #0123456789.", *p) != nullptr)
            spec.push_back(*p++);
        while (*p != '\0' && std::strchr("hlqLzjt", *p) != nullptr)
            ++p;
        char conversion = *p;
        if (conversion == '\0' || next >= count)
            return {};
        ++p;
        const FormatArgument& argument = arguments[next++];
        char buffer[512];
        int written = -1;
        switch (conversion) {
        case '@':
            if (!argument.isObjectString)
                return {};
            out += argument.nilString ? std::string("(null)") : std::get<std::string>(argument.value);
            continue;
        case 's':
            if (!std::holds_alternative<std::string>(argument.value))
                return {};
            written = std::snprintf(buffer, sizeof buffer, (spec + 's').c_str(),
                                    std::get<std::string>(argument.value).c_str());
            break;
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
        case 'o':
        case 'c': {
            long long value;
            if (auto* s = std::get_if<long long>(&argument.value))
                value = *s;
            else if (auto* u = std::get_if<unsigned long long>(&argument.value))
                value = static_cast<long long>(*u);
            else
                return {};
            if (conversion == 'c')
                written = std::snprintf(buffer, sizeof buffer, (spec + 'c').c_str(), static_cast<int>(value));
            else
                written = std::snprintf(buffer, sizeof buffer, (spec + "ll" + conversion).c_str(), value);
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A': {
            auto* value = std::get_if<double>(&argument.value);
            if (value == nullptr)
                return {};
            written = std::snprintf(buffer, sizeof buffer, (spec + conversion).c_str(), *value);
            break;
        }
        case 'p': {
            auto* value = std::get_if<const void*>(&argument.value);
            if (value == nullptr)
                return {};
            written = std::snprintf(buffer, sizeof buffer, "%p", *value);
            break;
        }
        default:
            (void)start;
            return {};
        }
        if (written < 0)
            return {};
        out.append(buffer, std::min(static_cast<size_t>(written), sizeof buffer - 1));
    }
    return NSString(std::move(out));
}

// --------------------------------------------------------------------- NSURL
NSURL NSURL::fileURLWithPath(const NSString& path)
{
    NSURL url;
    url.m_path = path;
    return url;
}

// ------------------------------------------------------------- NSFileManager
NSFileManager* NSFileManager::defaultManager()
{
    static NSFileManager manager;
    return &manager;
}

bool NSFileManager::fileExistsAtPath(const NSString& path, bool* isDirectory) const
{
    std::error_code error;
    fs::file_status status = fs::status(path.utf8(), error);
    bool exists = path && !error && fs::exists(status);
    if (isDirectory != nullptr)
        *isDirectory = exists && fs::is_directory(status);
    return exists;
}

bool NSFileManager::moveItemAtPath(const NSString& source, const NSString& destination) const
{
    std::error_code error;
    if (!source || !destination || fs::symlink_status(destination.utf8(), error).type() != fs::file_type::not_found)
        return false;
    if (!fs::exists(fs::symlink_status(source.utf8(), error)))
        return false;
    fs::rename(source.utf8(), destination.utf8(), error);
    if (!error)
        return true;
    if (error != std::errc::cross_device_link)
        return false;
    // Another file system: copy the whole item, and remove the source only
    // once the copy is complete, so nothing is lost halfway.
    fs::copy(source.utf8(), destination.utf8(), fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (error) {
        std::error_code ignored;
        fs::remove_all(destination.utf8(), ignored);
        return false;
    }
    fs::remove_all(source.utf8(), error);
    return true;
}

bool NSFileManager::removeItemAtPath(const NSString& path) const
{
    std::error_code error;
    if (!path)
        return false;
    return fs::remove_all(path.utf8(), error) > 0 && !error;
}

namespace {

bool isHidden(const fs::path& path)
{
    std::string name = path.filename().string();
    return !name.empty() && name[0] == '.';
}

std::vector<std::string> listFolder(const std::string& folder, NSDirectoryEnumerationOptions options)
{
    std::vector<std::string> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if ((options & NSDirectoryEnumerationSkipsHiddenFiles) != 0 && isHidden(it->path()))
            continue;
        entries.push_back(it->path().string());
    }
    return entries;
}

} // namespace

std::vector<NSURL> NSFileManager::contentsOfDirectoryAtURL(const NSURL& url,
                                                           NSDirectoryEnumerationOptions options) const
{
    std::vector<NSURL> urls;
    if (!url)
        return urls;
    for (const std::string& entry : listFolder(url.path().utf8(), options))
        urls.push_back(NSURL::fileURLWithPath(entry));
    return urls;
}

NSDirectoryEnumerator NSFileManager::enumeratorAtURL(const NSURL& url, NSDirectoryEnumerationOptions options) const
{
    NSDirectoryEnumerator enumerator;
    enumerator.m_options = options;
    if (url) {
        std::vector<std::string> entries = listFolder(url.path().utf8(), options);
        enumerator.m_pending.assign(entries.rbegin(), entries.rend());
    }
    return enumerator;
}

NSURL NSDirectoryEnumerator::nextObject()
{
    if (m_pending.empty())
        return {};
    std::string path = std::move(m_pending.back());
    m_pending.pop_back();
    std::error_code error;
    if ((m_options & NSDirectoryEnumerationSkipsSubdirectoryDescendants) == 0 &&
        fs::is_directory(fs::symlink_status(path, error))) {
        std::vector<std::string> entries = listFolder(path, m_options);
        m_pending.insert(m_pending.end(), entries.rbegin(), entries.rend());
    }
    return NSURL::fileURLWithPath(path);
}

// ------------------------------------------------------------------ NSBundle
NSBundle* NSBundle::mainBundle()
{
    static NSBundle bundle;
    return &bundle;
}

NSString NSBundle::objectForInfoDictionaryKey(const NSString& key) const
{
    CFStringRef cfKey = CFStringCreateWithCString(nullptr, key.utf8().c_str(), kCFStringEncodingUTF8);
    if (cfKey == nullptr)
        return {};
    CFTypeRef value = CFBundleGetValueForInfoDictionaryKey(CFBundleGetMainBundle(), cfKey);
    CFRelease(cfKey);
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID())
        return {};
    return NSString(stringOf(static_cast<CFStringRef>(value)));
}

NSString NSBundle::bundlePath() const
{
    return pathOf(CFBundleCopyBundleURL(CFBundleGetMainBundle()));
}

NSString NSBundle::builtInPlugInsPath() const
{
    return pathOf(CFBundleCopyBuiltInPlugInsURL(CFBundleGetMainBundle()));
}

NSString NSBundle::resourcePath() const
{
    return pathOf(CFBundleCopyResourcesDirectoryURL(CFBundleGetMainBundle()));
}

// ------------------------------------------------------------ NSUserDefaults
NSUserDefaults::NSUserDefaults(const NSString& suiteName) : m_suite(suiteName) {}

NSString NSUserDefaults::stringForKey(const NSString& key) const
{
    if (!m_suite || !key)
        return {};
    CFStringRef cfKey = CFStringCreateWithCString(nullptr, key.UTF8String(), kCFStringEncodingUTF8);
    CFStringRef cfSuite = CFStringCreateWithCString(nullptr, m_suite.UTF8String(), kCFStringEncodingUTF8);
    CFPropertyListRef value = CFPreferencesCopyAppValue(cfKey, cfSuite);
    CFRelease(cfKey);
    CFRelease(cfSuite);
    if (value == nullptr)
        return {};
    NSString result;
    if (CFGetTypeID(value) == CFStringGetTypeID()) {
        result = NSString(stringOf(static_cast<CFStringRef>(value)));
    } else if (CFGetTypeID(value) == CFNumberGetTypeID()) {
        auto number = static_cast<CFNumberRef>(value);
        if (CFNumberIsFloatType(number)) {
            double d = 0;
            CFNumberGetValue(number, kCFNumberDoubleType, &d);
            result = NSString::stringWithFormat("%.15g", d);
        } else {
            long long n = 0;
            CFNumberGetValue(number, kCFNumberLongLongType, &n);
            result = NSString::stringWithFormat("%lld", n);
        }
    }
    CFRelease(value);
    return result;
}

// ---------------------------------------------------------- small functions
NSString NSTemporaryDirectory()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
    if (folder.back() != '/')
        folder.push_back('/');
    return NSString(folder);
}

NSString NSHomeDirectory()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        return NSString(home);
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return NSString(entry->pw_dir);
    return NSString("/");
}

Class NSClassFromString(const NSString& name)
{
    static const char mediaAssetClass = 0;
    if (name == NSString("AVURLAsset") && vt::appkit::mediaAssetClassPresent().load())
        return &mediaAssetClass;
    return nullptr;
}

// ------------------------------------------------------------ NSDate, format
NSDate NSDate::date()
{
    NSDate now;
    timespec time{};
    clock_gettime(CLOCK_REALTIME, &time);
    now.m_seconds = static_cast<double>(time.tv_sec) + time.tv_nsec * 1e-9;
    return now;
}

NSString NSDateFormatter::stringFromDate(const NSDate& date) const
{
    if (!m_format)
        return {};
    auto seconds = static_cast<time_t>(date.timeIntervalSince1970());
    tm local{};
    localtime_r(&seconds, &local);
    const std::string& pattern = m_format.utf8();
    std::string out;
    for (size_t i = 0; i < pattern.size();) {
        char c = pattern[i];
        size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c)
            ++run;
        char field[16];
        auto two = [&](int value) {
            std::snprintf(field, sizeof field, "%02d", value);
            out += field;
        };
        if (c == '\'') {
            size_t close = pattern.find('\'', i + 1);
            out += pattern.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
            i = close == std::string::npos ? pattern.size() : close + 1;
            continue;
        }
        if (c == 'y' && run == 4) {
            std::snprintf(field, sizeof field, "%04d", local.tm_year + 1900);
            out += field;
        } else if (c == 'M' && run == 2) {
            two(local.tm_mon + 1);
        } else if (c == 'd' && run == 2) {
            two(local.tm_mday);
        } else if (c == 'H' && run == 2) {
            two(local.tm_hour);
        } else if (c == 'm' && run == 2) {
            two(local.tm_min);
        } else if (c == 's' && run == 2) {
            two(local.tm_sec);
        } else {
            out.append(pattern, i, run);
        }
        i += run;
    }
    return NSString(out);
}

// ----------------------------------------------------------------- NSScanner
NSScanner::NSScanner(const NSString& string) : m_text(string.utf8()) {}

void NSScanner::skipBlanks()
{
    while (m_location < m_text.size() && std::strchr(" \t\n\r\f\v", m_text[m_location]) != nullptr &&
           m_text[m_location] != '\0')
        ++m_location;
}

bool NSScanner::scanInt(int* value)
{
    skipBlanks();
    size_t at = m_location;
    bool negative = false;
    if (at < m_text.size() && (m_text[at] == '+' || m_text[at] == '-'))
        negative = m_text[at++] == '-';
    if (at >= m_text.size() || m_text[at] < '0' || m_text[at] > '9')
        return false;
    long long result = 0;
    while (at < m_text.size() && m_text[at] >= '0' && m_text[at] <= '9') {
        result = std::min<long long>(result * 10 + (m_text[at] - '0'), static_cast<long long>(INT_MAX) + 1);
        ++at;
    }
    if (negative)
        result = -result;
    m_location = at;
    if (value != nullptr)
        *value = static_cast<int>(std::clamp<long long>(result, INT_MIN, INT_MAX));
    return true;
}

bool NSScanner::isAtEnd()
{
    skipBlanks();
    return m_location >= m_text.size();
}

// ------------------------------------------------------- NSNotificationCenter
NSNotificationCenter* NSNotificationCenter::defaultCenter()
{
    static auto* center = new NSNotificationCenter;
    return center;
}

void NSNotificationCenter::add(id observer, std::function<void(NSNotification*)> call, const NSNotificationName& name,
                               id object)
{
    observations().push_back(std::make_shared<Observation>(Observation{observer, name, object, std::move(call)}));
}

void NSNotificationCenter::removeObserver(id observer)
{
    auto& list = observations();
    for (auto& observation : list)
        if (observation->observer == observer)
            observation->removed = true;
    list.erase(std::remove_if(list.begin(), list.end(), [](const auto& o) { return o->removed; }), list.end());
}

void NSNotificationCenter::postNotificationName(const NSNotificationName& name, id object)
{
    NSNotification notification(name, object);
    // A snapshot: observers may add or remove observers while they run.
    std::vector<std::shared_ptr<Observation>> snapshot = observations();
    for (const auto& observation : snapshot) {
        if (observation->removed || !(observation->name == name))
            continue;
        if (observation->object != nullptr && observation->object != object)
            continue;
        observation->call(&notification);
    }
}

// ------------------------------------------------------------ main queue
struct dispatch_queue_s {};

dispatch_queue_t dispatch_get_main_queue()
{
    static dispatch_queue_s mainQueue;
    return &mainQueue;
}

void dispatch_async(dispatch_queue_t, std::function<void()> work)
{
    vt::platform::performOnMainRunLoop(std::move(work));
}

// -------------------------------------------------------------- AVFoundation
namespace vt::appkit {

MicrophoneState& microphoneState()
{
    static auto* state = new MicrophoneState;
    return *state;
}

std::atomic<bool>& mediaAssetClassPresent()
{
    static std::atomic<bool> present{true};
    return present;
}

} // namespace vt::appkit

const AVMediaType AVMediaTypeAudio = "soun";

namespace {

// The threads that answer permission requests, joined when the process
// ends so no answer runs into a dying program.
struct AnswerThreads {
    std::mutex mutex;
    std::vector<std::thread> threads;
    ~AnswerThreads()
    {
        std::vector<std::thread> running;
        {
            std::lock_guard<std::mutex> lock(mutex);
            running.swap(threads);
        }
        for (std::thread& thread : running)
            thread.join();
    }
};

AnswerThreads& answerThreads()
{
    static AnswerThreads threads;
    return threads;
}

} // namespace

void AVCaptureDevice::requestAccessForMediaType(const AVMediaType& mediaType, std::function<void(bool granted)> handler)
{
    auto& state = vt::appkit::microphoneState();
    ++state.requests;
    bool granted = mediaType == AVMediaTypeAudio && state.granted.load();
    AnswerThreads& answers = answerThreads();
    std::lock_guard<std::mutex> lock(answers.mutex);
    answers.threads.emplace_back([handler = std::move(handler), granted] {
        if (handler)
            handler(granted);
    });
}
