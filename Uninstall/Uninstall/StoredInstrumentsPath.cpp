// The stored "InstrumentsPath", read through the Core Foundation
// preferences. The window layer's user-defaults class will read the same
// domain (a suite named "com.veltrane.Kindra", stringForKey:); this is the
// one place to switch over to it.
#include "UninstallFolders.h"
#include "Uninstaller.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cstdio>
#include <vector>

std::optional<std::string> storedInstrumentsPath()
{
    char domainName[kPathBufferSize] = {};
    std::snprintf(domainName, sizeof domainName, "com.veltrane.%s", kProductName);
    CFStringRef domain = CFStringCreateWithCString(nullptr, domainName, kCFStringEncodingUTF8);
    if (domain == nullptr)
        return std::nullopt;
    // Read what the file holds now, not a copy from an earlier press.
    CFPreferencesAppSynchronize(domain);
    CFPropertyListRef value = CFPreferencesCopyAppValue(CFSTR("InstrumentsPath"), domain);
    CFRelease(domain);
    std::optional<std::string> path;
    if (value != nullptr && CFGetTypeID(value) == CFStringGetTypeID()) {
        auto string = static_cast<CFStringRef>(value);
        std::vector<char> bytes(
            static_cast<size_t>(CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8)) +
            1);
        if (CFStringGetCString(string, bytes.data(), static_cast<CFIndex>(bytes.size()), kCFStringEncodingUTF8))
            path = bytes.data();
    }
    if (value != nullptr)
        CFRelease(value);
    return path;
}
