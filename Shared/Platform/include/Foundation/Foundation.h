// Foundation stand-in: the few Foundation classes and functions the window
// classes call, with the macOS names and their selectors as C++ methods
// (`stringWithFormat`, `fileExistsAtPath`, `stringForKey`, ...). Objects are
// plain C++: strings and URLs are values, everything else is owned by whoever
// creates it. No Qt type appears here.
//
// Thread contract: NSString, NSURL, NSScanner, NSDate and NSDateFormatter
// values may be used on any thread, one thread per object; NSFileManager,
// NSBundle and NSUserDefaults are safe from any thread; NSNotificationCenter
// and performSelector are main thread only; dispatch_async is any thread.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

using NSInteger = long;
using NSUInteger = unsigned long;
using NSTimeInterval = double;
using unichar = uint16_t;

class NSObject;
// An object reference as actions and notifications pass it (sender, object).
using id = NSObject*;
inline constexpr std::nullptr_t nil = nullptr;

// ------------------------------------------------------------------ NSObject
// The root of every object that can be a target, sender or observer. As on
// macOS since 10.11, an object that dies is dropped from the notification
// centre and its pending performSelector calls are cancelled.
class NSObject {
public:
    NSObject() = default;
    NSObject(const NSObject&) = delete;
    NSObject& operator=(const NSObject&) = delete;
    virtual ~NSObject();

    // Called by a window resource function once every outlet of the object
    // is connected, as loading an interface description does on macOS.
    virtual void awakeFromNib() {}

    // Main thread: calls selector(object) on this object after the delay (0 =
    // on the next turn of the main run loop), like
    // performSelector:withObject:afterDelay:.
    template <class T> void performSelector(void (T::*selector)(id), id object, NSTimeInterval delay)
    {
        static_assert(std::is_base_of_v<NSObject, T>, "the selector must be a method of an NSObject");
        T* self = static_cast<T*>(this);
        performAfterDelay([self, selector, object] { (self->*selector)(object); }, delay);
    }

private:
    void performAfterDelay(std::function<void()> call, NSTimeInterval delay);
};

// ------------------------------------------------------------------ NSString
// Text as UTF-8, or nil (an NSString pointer that is nil on macOS). Made
// implicitly from a C string or std::string, as an @"..." literal is.
// Lengths and characters count UTF-16 units, as on macOS.
class NSString {
public:
    NSString() = default; // nil
    NSString(const char* utf8);
    NSString(std::string utf8);

    // nil for a null pointer or text that is not valid UTF-8.
    static NSString stringWithUTF8String(const char* utf8);
    // printf formatting plus %@ for an NSString (a nil one prints "(null)").
    // Arguments are checked against the conversions: a mismatch (a number
    // for %@, a string for %d, too few arguments) gives nil.
    template <class... Args> static NSString stringWithFormat(const char* format, const Args&... args)
    {
        const FormatArgument list[] = {FormatArgument(args)..., FormatArgument()};
        return format_(format, list, sizeof...(Args));
    }

    bool isNil() const { return !m_valid; }
    explicit operator bool() const { return m_valid; }
    // The UTF-8 text, or nullptr for nil.
    const char* UTF8String() const { return m_valid ? m_text.c_str() : nullptr; }
    // The UTF-8 text; empty for nil.
    const std::string& utf8() const { return m_text; }

    NSUInteger length() const;
    // The UTF-16 unit at index; 0 past the end.
    unichar characterAtIndex(NSUInteger index) const;
    bool isEqualToString(const NSString& other) const { return m_valid == other.m_valid && m_text == other.m_text; }
    bool operator==(const NSString& other) const { return isEqualToString(other); }

    // Path helpers as for NSString paths: "/a/b.wav" gives "b.wav", "/a"
    // and "wav".
    NSString lastPathComponent() const;
    NSString stringByDeletingLastPathComponent() const;
    NSString pathExtension() const;

private:
    struct FormatArgument {
        std::variant<std::monostate, long long, unsigned long long, double, std::string, const void*> value;
        bool isObjectString = false; // came from an NSString (for %@)
        bool nilString = false;
        FormatArgument() = default;
        FormatArgument(const NSString& s) : value(s.m_text), isObjectString(true), nilString(s.isNil()) {}
        FormatArgument(const std::string& s) : value(s) {}
        FormatArgument(const char* s) : value(s == nullptr ? std::string("(null)") : std::string(s)) {}
        template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T>, int> = 0>
        FormatArgument(T v) : value(static_cast<long long>(v))
        {
        }
        template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T>, int> = 0>
        FormatArgument(T v) : value(static_cast<unsigned long long>(v))
        {
        }
        template <class T, std::enable_if_t<std::is_floating_point_v<T>, int> = 0>
        FormatArgument(T v) : value(static_cast<double>(v))
        {
        }
        FormatArgument(const void* p) : value(p) {}
    };
    static NSString format_(const char* format, const FormatArgument* arguments, size_t count);

    std::string m_text;
    bool m_valid = false;
};

// --------------------------------------------------------------------- NSURL
// A file URL: a path, or nil.
class NSURL {
public:
    NSURL() = default; // nil
    static NSURL fileURLWithPath(const NSString& path);

    explicit operator bool() const { return static_cast<bool>(m_path); }
    NSString path() const { return m_path; }
    NSString lastPathComponent() const { return m_path.lastPathComponent(); }
    NSString pathExtension() const { return m_path.pathExtension(); }

private:
    NSString m_path;
};

// ------------------------------------------------------------- NSFileManager
enum NSDirectoryEnumerationOptions : NSUInteger {
    NSDirectoryEnumerationSkipsSubdirectoryDescendants = 1 << 0,
    NSDirectoryEnumerationSkipsPackageDescendants = 1 << 1,
    NSDirectoryEnumerationSkipsHiddenFiles = 1 << 2,
};

// Walks a folder tree in the order the file system lists it (no sorting),
// folders before their contents, descending unless told not to. Hidden
// entries (names beginning with a dot) are skipped with
// NSDirectoryEnumerationSkipsHiddenFiles, hidden folders with all they hold.
class NSDirectoryEnumerator {
public:
    // The next entry as a file URL; nil at the end.
    NSURL nextObject();

private:
    friend class NSFileManager;
    std::vector<std::string> m_pending; // a stack of paths still to visit
    NSDirectoryEnumerationOptions m_options{};
};

// File operations. Failures answer false (the NSError of macOS is not kept).
class NSFileManager {
public:
    static NSFileManager* defaultManager();

    bool fileExistsAtPath(const NSString& path, bool* isDirectory = nullptr) const;
    // Fails when something exists at the destination, as on macOS. Moves
    // across file systems (the temporary folder to the home folder) by copy
    // and remove.
    bool moveItemAtPath(const NSString& source, const NSString& destination) const;
    // Removes a file or a whole folder tree.
    bool removeItemAtPath(const NSString& path) const;
    // The entries of one folder, not descending; empty when it cannot be read.
    std::vector<NSURL> contentsOfDirectoryAtURL(const NSURL& url, NSDirectoryEnumerationOptions options) const;
    NSDirectoryEnumerator enumeratorAtURL(const NSURL& url, NSDirectoryEnumerationOptions options) const;
};

// ------------------------------------------------------------------ NSBundle
// The application bundle found from the running executable
// (Kindra.app/Contents/MacOS/Kindra), as CFBundleGetMainBundle finds it.
class NSBundle {
public:
    static NSBundle* mainBundle();

    // A string value of the bundle's Info.plist; nil when absent or not a
    // string.
    NSString objectForInfoDictionaryKey(const NSString& key) const;
    NSString bundlePath() const;
    NSString builtInPlugInsPath() const; // <bundle>/Contents/PlugIns
    NSString resourcePath() const;       // <bundle>/Contents/Resources
};

// ------------------------------------------------------------ NSUserDefaults
// One preferences domain, read from the same property-list file the
// Core Foundation preferences write: $HOME/Library/Preferences/<suite>.plist.
class NSUserDefaults {
public:
    explicit NSUserDefaults(const NSString& suiteName); // initWithSuiteName:

    // The value under key as a string: a string as stored, a number in its
    // decimal form (as macOS converts it); nil when absent or of another
    // type.
    NSString stringForKey(const NSString& key) const;

private:
    NSString m_suite;
};

// ---------------------------------------------------------- small functions
// The temporary folder, with a trailing slash as on macOS ($TMPDIR or /tmp).
NSString NSTemporaryDirectory();
// The user's home folder ($HOME).
NSString NSHomeDirectory();

// The class of that name when it exists at run time, else null; the
// stand-in knows "AVURLAsset", the media asset class (FFmpeg decodes
// compressed files on Linux).
using Class = const void*;
Class NSClassFromString(const NSString& name);

// --------------------------------------------------------- NSDate, formatter
class NSDate {
public:
    static NSDate date(); // now
    double timeIntervalSince1970() const { return m_seconds; }

private:
    double m_seconds = 0;
};

// Formats dates in local time with a Unicode date pattern; the stand-in
// knows the fields yyyy, MM, dd, HH, mm and ss; other characters are copied
// (text in single quotes literally).
class NSDateFormatter {
public:
    void setDateFormat(const NSString& format) { m_format = format; }
    NSString stringFromDate(const NSDate& date) const;

private:
    NSString m_format;
};

// ----------------------------------------------------------------- NSScanner
// Scans numbers from text as the Foundation scanner does: blanks (spaces,
// tabs, line breaks) are skipped before each scan and at the end.
class NSScanner {
public:
    explicit NSScanner(const NSString& string); // scannerWithString:

    // An optional sign then decimal digits; false (nothing consumed) when
    // none follow. A value beyond the int range is clamped, as on macOS.
    bool scanInt(int* value);
    bool isAtEnd();

private:
    void skipBlanks();
    std::string m_text;
    size_t m_location = 0;
};

// ------------------------------------------------------- NSNotificationCenter
using NSNotificationName = NSString;

class NSNotification {
public:
    NSNotification(NSNotificationName name, id object) : m_name(std::move(name)), m_object(object) {}
    const NSNotificationName& name() const { return m_name; }
    id object() const { return m_object; }

private:
    NSNotificationName m_name;
    id m_object;
};

// Main thread only. Observers are called in the order they were added.
class NSNotificationCenter {
public:
    static NSNotificationCenter* defaultCenter();

    // addObserver:selector:name:object: — with a nil object any sender's
    // notification of that name reaches the observer.
    template <class T>
    void addObserver(T* observer, void (T::*selector)(NSNotification*), const NSNotificationName& name, id object)
    {
        static_assert(std::is_base_of_v<NSObject, T>, "an observer must be an NSObject");
        add(
            observer, [observer, selector](NSNotification* n) { (observer->*selector)(n); }, name, object);
    }
    void removeObserver(id observer);
    void postNotificationName(const NSNotificationName& name, id object);

private:
    void add(id observer, std::function<void(NSNotification*)> call, const NSNotificationName& name, id object);
};

// ------------------------------------------------------------ main queue
// Grand Central Dispatch, only as far as the system uses it: work handed to
// the main queue from any thread, run by the main run loop.
struct dispatch_queue_s;
using dispatch_queue_t = dispatch_queue_s*;
dispatch_queue_t dispatch_get_main_queue();
// Any thread: runs the work on the queue's thread later (the main thread).
void dispatch_async(dispatch_queue_t queue, std::function<void()> work);
