// Security stand-in: the Authorization Services calls the uninstaller makes,
// with the macOS names, argument order and status codes.
//
// Rights are granted by starting the bundle's privileged helper
// (Contents/Helpers/UninstallHelper) once per authorization: through pkexec,
// so the user answers the system's password prompt, or directly when the
// process already runs as root. Tools then run through that helper, which
// starts only the tool and arguments it allows.
//
// Thread contract: any thread; calls on one authorization are serialized
// inside. AuthorizationCopyRights blocks while the prompt is shown.
#pragma once

#include <MacTypes.h>

#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct AuthorizationOpaqueRef* AuthorizationRef;
typedef UInt32 AuthorizationFlags;
typedef const char* AuthorizationString;

typedef struct {
    AuthorizationString name;
    size_t valueLength;
    void* value;
    UInt32 flags;
} AuthorizationItem;

typedef struct {
    UInt32 count;
    AuthorizationItem* items;
} AuthorizationItemSet;

typedef AuthorizationItemSet AuthorizationRights;
typedef AuthorizationItemSet AuthorizationEnvironment;

enum {
    kAuthorizationFlagDefaults = 0,
    kAuthorizationFlagInteractionAllowed = (1u << 0), // the password prompt may be shown
    kAuthorizationFlagExtendRights = (1u << 1),       // rights not yet held may be obtained
    kAuthorizationFlagPartialRights = (1u << 2),      // accepted; the one right is all or nothing
    kAuthorizationFlagDestroyRights = (1u << 3),      // accepted by AuthorizationFree
    kAuthorizationFlagPreAuthorize = (1u << 4)        // rights are obtained now, as always here
};

enum {
    errAuthorizationSuccess = 0,
    errAuthorizationInvalidSet = -60001,            // malformed rights set
    errAuthorizationInvalidRef = -60002,            // null authorization
    errAuthorizationInvalidPointer = -60004,        // null result pointer, or a pipe asked for
    errAuthorizationDenied = -60005,                // prompt refused, or a right that is never granted
    errAuthorizationCanceled = -60006,              // prompt dismissed by the user
    errAuthorizationInteractionNotAllowed = -60007, // a prompt is needed but not allowed
    errAuthorizationInternal = -60008,              // no helper or no way to start it
    errAuthorizationInvalidFlags = -60011,          // unknown flag bits
    errAuthorizationToolExecuteFailure = -60031     // the helper refused or could not start the tool
};

// The right to run tools as the administrator.
#define kAuthorizationRightExecute "system.privilege.admin"
#define kAuthorizationEmptyEnvironment NULL

// Creates an authorization into *authorization and, when rights are given,
// obtains them as AuthorizationCopyRights does (on failure *authorization is
// set to NULL). The environment is ignored.
OSStatus AuthorizationCreate(const AuthorizationRights* rights, const AuthorizationEnvironment* environment,
                             AuthorizationFlags flags, AuthorizationRef* authorization);

// Obtains the rights: only "system.privilege.admin" is ever granted. Blocks
// while the user answers the prompt. authorizedRights, when not NULL, is set
// to NULL: the granted set is not handed out. The environment is ignored.
OSStatus AuthorizationCopyRights(AuthorizationRef authorization, const AuthorizationRights* rights,
                                 const AuthorizationEnvironment* environment, AuthorizationFlags flags,
                                 AuthorizationRights** authorizedRights);

// Starts the tool with the NULL-terminated arguments as the administrator
// and returns once it has started, without waiting for it to finish;
// obtains the right first when the authorization does not hold it yet.
// options must be kAuthorizationFlagDefaults; communicationsPipe must be
// NULL (no pipe to the tool is offered).
OSStatus AuthorizationExecuteWithPrivileges(AuthorizationRef authorization, const char* pathToTool,
                                            AuthorizationFlags options, char* const* arguments,
                                            FILE** communicationsPipe);

// Ends the authorization and its helper; tools already started keep running.
OSStatus AuthorizationFree(AuthorizationRef authorization, AuthorizationFlags flags);

#ifdef __cplusplus
}
#endif
