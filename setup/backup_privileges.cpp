#include "backup_privileges.h"

namespace {

bool set_privilege(HANDLE token, const wchar_t* name, bool on)
{
    TOKEN_PRIVILEGES privileges = {};
    if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid))
        return false;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = on ? SE_PRIVILEGE_ENABLED : 0;
    // It succeeds even when the token lacks the privilege; only the last error tells.
    return AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
           GetLastError() == ERROR_SUCCESS;
}

} // namespace

bool set_backup_privileges(bool on)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    bool backup = set_privilege(token, SE_BACKUP_NAME, on);
    bool restore = set_privilege(token, SE_RESTORE_NAME, on);
    CloseHandle(token);
    return backup && restore;
}
