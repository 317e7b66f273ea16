// The two power actions. Both are forced (applications are not asked) and planned, and
// both are asynchronous: Windows ends this process some time after the call returns.
#include "power_actions.h"

ExitWindowsFunction exit_windows_request = ExitWindowsEx;
InitiateShutdownFunction initiate_shutdown_request = InitiateShutdownW;
ShutdownRequest shutdown_request = request_as_interactive_user;

namespace {

constexpr DWORD PLANNED_REASON = SHTDN_REASON_FLAG_PLANNED;

BOOL request_power_action(PowerAction action)
{
    HANDLE token = enable_shutdown_privilege();
    if (token == nullptr)
        return FALSE;

    BOOL accepted = shutdown_request(action);
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
    return request_power_action(PowerAction::restart);
}

BOOL power_off_machine()
{
    return request_power_action(PowerAction::power_off);
}

BOOL request_as_interactive_user(PowerAction action)
{
    UINT flags = action == PowerAction::restart ? EWX_REBOOT | EWX_FORCE    // 6
                                                : EWX_POWEROFF | EWX_FORCE; // 12
    return exit_windows_request(flags, PLANNED_REASON);
}

BOOL request_as_service(PowerAction action)
{
    // Every session is ended by force, the caller's too: without FORCE_OTHERS the call
    // fails while users are logged on, without FORCE_SELF it may return and not shut
    // down. No grace period and no message. No SHUTDOWN_HYBRID: the next start is a full
    // boot, which starts the service again.
    constexpr DWORD FORCED = SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF;
    DWORD flags = action == PowerAction::restart ? SHUTDOWN_RESTART | FORCED   // 7
                                                 : SHUTDOWN_POWEROFF | FORCED; // 11
    return initiate_shutdown_request(nullptr, nullptr, 0, flags, PLANNED_REASON) == ERROR_SUCCESS;
}
