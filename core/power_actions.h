// Forced, planned restart and power-off of the machine, with the shutdown privilege
// enabled for the request.
#pragma once

#include <windows.h>

// Opens this process's token and enables SeShutdownPrivilege in it. Returns the open
// token, which the caller closes, or nullptr when the privilege could not be enabled.
HANDLE enable_shutdown_privilege();

// Nonzero when Windows accepted the request; 0 on any failure.
BOOL restart_machine();
BOOL power_off_machine();

enum class PowerAction { restart, power_off };

// How a power action is handed to Windows once the privilege is enabled; nonzero when
// Windows accepted it.
using ShutdownRequest = BOOL (*)(PowerAction action);

// ExitWindowsEx: for the interactive user, whose logon session it ends, and the machine
// with it. The desktop programs' request.
BOOL request_as_interactive_user(PowerAction action);

// InitiateShutdownW: for a caller that is not the interactive user, such as a service in
// session 0, for which ExitWindowsEx "can succeed without actually shutting down the
// computer" (its Remarks). The service's request.
BOOL request_as_service(PowerAction action);

// Seam: the request the power actions make. It is the interactive user's unless the
// program sets another once, before any power action: the service does as it starts.
extern ShutdownRequest shutdown_request;

// Seams under the two requests: the calls that really ask Windows to end the session.
// Tests point them at recorders, because under test a real request would end every
// process of the test's session.
using ExitWindowsFunction = BOOL(WINAPI*)(UINT flags, DWORD reason);
using InitiateShutdownFunction = DWORD(WINAPI*)(LPWSTR machine, LPWSTR message, DWORD grace_seconds,
                                                DWORD flags, DWORD reason);
extern ExitWindowsFunction exit_windows_request;
extern InitiateShutdownFunction initiate_shutdown_request;
