// The two power actions. Both are forced (applications are not asked) and planned, and
// both are asynchronous: Windows ends this process some time after the call returns.
#include "power_actions.h"

ExitWindowsFunction exit_windows_request = ExitWindowsEx;

namespace {

constexpr UINT RESTART_FLAGS = EWX_REBOOT | EWX_FORCE;     // 6
constexpr UINT POWER_OFF_FLAGS = EWX_POWEROFF | EWX_FORCE; // 12
constexpr DWORD PLANNED_REASON = SHTDN_REASON_FLAG_PLANNED;

BOOL request_exit_windows(UINT flags)
{
    HANDLE token = enable_shutdown_privilege();
    if (token == nullptr)
        return FALSE;

    BOOL accepted = exit_windows_request(flags, PLANNED_REASON);
    CloseHandle(token);
    return accepted;
}

} // namespace

HANDLE enable_shutdown_privilege()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return nullptr;

    TOKEN_PRIVILEGES privileges = {};
    LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);

    // AdjustTokenPrivileges succeeds even when the token lacks the privilege; only the
    // last error (ERROR_NOT_ALL_ASSIGNED) tells.
    if (GetLastError() != ERROR_SUCCESS) {
        CloseHandle(token);
        return nullptr;
    }
    return token;
}

BOOL restart_machine()
{
    return request_exit_windows(RESTART_FLAGS);
}

BOOL power_off_machine()
{
    return request_exit_windows(POWER_OFF_FLAGS);
}
