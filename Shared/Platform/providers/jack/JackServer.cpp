#include "JackServer.h"

#include "../../CoreFoundation/CFStringImpl.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cstdlib>

namespace vt::platform::jack {

namespace {
// libjack reports every failed connection on stderr; nothing is logged here.
void quiet(const char*) {}
} // namespace

std::string serverName()
{
    const char* name = std::getenv("JACK_DEFAULT_SERVER");
    return name != nullptr && *name != '\0' ? name : "default";
}

std::string applicationName()
{
    CFBundleRef bundle = CFBundleGetMainBundle();
    CFTypeRef value = bundle != nullptr ? CFBundleGetValueForInfoDictionaryKey(bundle, kCFBundleNameKey) : nullptr;
    if (value != nullptr && CFGetTypeID(value) == CFStringGetTypeID())
        if (auto name = vt::cf::utf8(static_cast<CFStringRef>(value)); name && !name->empty())
            return *name;
    return "Kindra";
}

jack_client_t* openClient(const std::string& name)
{
    jack_set_error_function(&quiet);
    jack_set_info_function(&quiet);
    jack_status_t status{};
    // Never start a server behind the user's back.
    return jack_client_open(name.c_str(), JackNoStartServer, &status);
}

} // namespace vt::platform::jack
