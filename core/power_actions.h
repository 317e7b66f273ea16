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

// Seam: the call that really asks Windows to end the session. It is ExitWindowsEx in
// the programs; tests point it at a recorder, because under test the real request would
// end every process of the test's session.
using ExitWindowsFunction = BOOL(WINAPI*)(UINT flags, DWORD reason);
extern ExitWindowsFunction exit_windows_request;
