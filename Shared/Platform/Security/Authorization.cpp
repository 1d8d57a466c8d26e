// Authorization Services on a privileged helper: an authorization holds the
// right "system.privilege.admin" exactly while its helper runs.
#include "PrivilegedHelper.h"

#include <Security/Security.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

struct AuthorizationOpaqueRef {
    std::mutex mutex;
    vt::platform::detail::PrivilegedHelper helper;
};

namespace {

constexpr AuthorizationFlags kKnownFlags = kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights |
                                           kAuthorizationFlagPartialRights | kAuthorizationFlagDestroyRights |
                                           kAuthorizationFlagPreAuthorize;

OSStatus checkRights(const AuthorizationRights* rights)
{
    if (rights == nullptr || (rights->count > 0 && rights->items == nullptr))
        return errAuthorizationInvalidSet;
    for (UInt32 i = 0; i < rights->count; ++i) {
        if (rights->items[i].name == nullptr)
            return errAuthorizationInvalidSet;
        if (std::strcmp(rights->items[i].name, kAuthorizationRightExecute) != 0)
            return errAuthorizationDenied;
    }
    return errAuthorizationSuccess;
}

// The caller holds the authorization's mutex.
OSStatus obtainAdministratorRight(AuthorizationOpaqueRef& authorization, AuthorizationFlags flags)
{
    if (authorization.helper.running())
        return errAuthorizationSuccess;
    if ((flags & kAuthorizationFlagExtendRights) == 0)
        return errAuthorizationDenied;
    return authorization.helper.start((flags & kAuthorizationFlagInteractionAllowed) != 0);
}

OSStatus copyRights(AuthorizationOpaqueRef& authorization, const AuthorizationRights* rights, AuthorizationFlags flags)
{
    if ((flags & ~kKnownFlags) != 0)
        return errAuthorizationInvalidFlags;
    if (OSStatus status = checkRights(rights); status != errAuthorizationSuccess)
        return status;
    if (rights->count == 0)
        return errAuthorizationSuccess;
    std::lock_guard<std::mutex> lock(authorization.mutex);
    return obtainAdministratorRight(authorization, flags);
}

} // namespace

extern "C" {

OSStatus AuthorizationCreate(const AuthorizationRights* rights, const AuthorizationEnvironment*,
                             AuthorizationFlags flags, AuthorizationRef* authorization)
{
    if ((flags & ~kKnownFlags) != 0)
        return errAuthorizationInvalidFlags;
    auto* created = new AuthorizationOpaqueRef;
    if (rights != nullptr) {
        if (OSStatus status = copyRights(*created, rights, flags); status != errAuthorizationSuccess) {
            delete created;
            if (authorization != nullptr)
                *authorization = nullptr;
            return status;
        }
    }
    // Without a place for the result the caller only wanted the answer.
    if (authorization == nullptr)
        delete created;
    else
        *authorization = created;
    return errAuthorizationSuccess;
}

OSStatus AuthorizationCopyRights(AuthorizationRef authorization, const AuthorizationRights* rights,
                                 const AuthorizationEnvironment*, AuthorizationFlags flags,
                                 AuthorizationRights** authorizedRights)
{
    if (authorizedRights != nullptr)
        *authorizedRights = nullptr;
    if (authorization == nullptr)
        return errAuthorizationInvalidRef;
    return copyRights(*authorization, rights, flags);
}

OSStatus AuthorizationExecuteWithPrivileges(AuthorizationRef authorization, const char* pathToTool,
                                            AuthorizationFlags options, char* const* arguments,
                                            FILE** communicationsPipe)
{
    if (authorization == nullptr)
        return errAuthorizationInvalidRef;
    if (pathToTool == nullptr || communicationsPipe != nullptr)
        return errAuthorizationInvalidPointer;
    if (options != kAuthorizationFlagDefaults)
        return errAuthorizationInvalidFlags;
    std::vector<std::string> command{pathToTool};
    for (char* const* argument = arguments; argument != nullptr && *argument != nullptr; ++argument)
        command.emplace_back(*argument);
    std::lock_guard<std::mutex> lock(authorization->mutex);
    OSStatus status =
        obtainAdministratorRight(*authorization, kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights);
    if (status != errAuthorizationSuccess)
        return status;
    return authorization->helper.run(command);
}

// The right ends with the helper whatever the flags say, so they are not
// looked at and the authorization is always freed.
OSStatus AuthorizationFree(AuthorizationRef authorization, AuthorizationFlags)
{
    if (authorization == nullptr)
        return errAuthorizationInvalidRef;
    {
        std::lock_guard<std::mutex> lock(authorization->mutex);
        authorization->helper.stop();
    }
    delete authorization;
    return errAuthorizationSuccess;
}

} // extern "C"
