// kindra-defaults: reads and writes one string of a preferences domain,
// as the macOS `defaults` command does, for the install and run steps that
// stand in for the product's installer. It goes through the same
// preferences store as the application, so the file stays one the
// application reads and every write replaces it whole.
//   kindra-defaults read <domain> <key>           prints the value; exit 1 when absent
//   kindra-defaults write <domain> <key> <value>  stores the value as a string
#include <CoreFoundation/CoreFoundation.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

CFStringRef text(const char* utf8)
{
    return CFStringCreateWithCString(nullptr, utf8, kCFStringEncodingUTF8);
}

int usage()
{
    std::fprintf(stderr, "usage: kindra-defaults read <domain> <key>\n"
                         "       kindra-defaults write <domain> <key> <value>\n");
    return 2;
}

int readValue(CFStringRef domain, CFStringRef key)
{
    CFPropertyListRef value = CFPreferencesCopyAppValue(key, domain);
    if (value == nullptr)
        return 1;
    int result = 1;
    if (CFGetTypeID(value) == CFStringGetTypeID()) {
        const auto string = static_cast<CFStringRef>(value);
        std::string buffer(
            static_cast<size_t>(CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8)) +
                1,
            '\0');
        if (CFStringGetCString(string, buffer.data(), static_cast<CFIndex>(buffer.size()), kCFStringEncodingUTF8)) {
            std::printf("%s\n", buffer.c_str());
            result = 0;
        }
    }
    CFRelease(value);
    return result;
}

int writeValue(CFStringRef domain, CFStringRef key, const char* utf8)
{
    CFStringRef value = text(utf8);
    if (value == nullptr)
        return 1;
    CFPreferencesSetAppValue(key, value, domain);
    CFRelease(value);
    if (!CFPreferencesAppSynchronize(domain)) {
        std::fprintf(stderr, "kindra-defaults: could not write the preferences file\n");
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    const bool read = argc == 4 && std::strcmp(argv[1], "read") == 0;
    const bool write = argc == 5 && std::strcmp(argv[1], "write") == 0;
    if (!read && !write)
        return usage();
    CFStringRef domain = text(argv[2]);
    CFStringRef key = text(argv[3]);
    if (domain == nullptr || key == nullptr)
        return usage();
    const int result = read ? readValue(domain, key) : writeValue(domain, key, argv[4]);
    CFRelease(domain);
    CFRelease(key);
    return result;
}
