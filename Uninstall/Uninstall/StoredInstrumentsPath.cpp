// The stored "InstrumentsPath", read through a user-defaults object opened
// for the product's suite.
#include "UninstallFolders.h"
#include "Uninstaller.h"

#include <CoreFoundation/CoreFoundation.h>
#include <Foundation/Foundation.h>

#include <cstdio>

std::optional<std::string> storedInstrumentsPath()
{
    char domainName[kPathBufferSize] = {};
    std::snprintf(domainName, sizeof domainName, "com.veltrane.%s", kProductName);
    // Read what the file holds now, not a copy from an earlier press: the
    // press before may have removed the preferences file.
    CFStringRef domain = CFStringCreateWithCString(nullptr, domainName, kCFStringEncodingUTF8);
    if (domain == nullptr)
        return std::nullopt;
    CFPreferencesAppSynchronize(domain);
    CFRelease(domain);

    NSUserDefaults defaults(NSString::stringWithUTF8String(domainName));
    NSString path = defaults.stringForKey("InstrumentsPath");
    if (!path)
        return std::nullopt;
    return path.utf8();
}
