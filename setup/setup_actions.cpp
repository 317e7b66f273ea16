// The package's custom actions. CheckLauncherDelay runs first, as the installing user,
// before anything is written; the others run as LocalSystem, deferred, each a step of
// the installation script whose failure makes Windows Installer roll back what it did.
#include "backup_privileges.h"
#include "folder_decision.h"
#include "service_process.h"
#include "setting_folder.h"
#include "setup_log.h"

namespace {

// The launcher delay the installation was given, from the property that holds it: empty,
// or one of the launcher's words. False, said in the log, for anything else.
bool given_launcher_delay(MSIHANDLE install, const wchar_t* property, wchar_t* delay, DWORD size)
{
    UINT got = MsiGetPropertyW(install, property, delay, &size);
    if (got == ERROR_SUCCESS && (*delay == L'\0' || is_launcher_delay(delay)))
        return true;
    log_step(install, L"LAUNCHERDELAY must be one of 30mins, 1hr, 2hr, 4hr; nothing is installed "
                      L"or changed.");
    return false;
}

constexpr DWORD DELAY_SIZE = 16;

// C:\NuvexKV is looked at, set aside and released with the backup and restore privileges
// enabled for the step alone: no access list a user put there blinds it.
void backup_rights(MSIHANDLE install, bool on)
{
    if (!set_backup_privileges(on) && on)
        log_failure(install, GetLastError(), L"the backup and restore privileges could not be enabled");
}

} // namespace

extern "C" {

// LAUNCHERDELAY, before the installation writes anything.
UINT WINAPI CheckLauncherDelay(MSIHANDLE install)
{
    wchar_t delay[DELAY_SIZE] = L"";
    return given_launcher_delay(install, L"LAUNCHERDELAY", delay, DELAY_SIZE) ? ERROR_SUCCESS
                                                                            : ERROR_INSTALL_FAILURE;
}

// C:\NuvexKV, its rights, its setting file and the launcher's configuration (LAUNCHERDELAY,
// handed over as the action's data), on install, repair and upgrade.
UINT WINAPI SecureSettingFolder(MSIHANDLE install)
{
    wchar_t delay[DELAY_SIZE] = L"";
    if (!given_launcher_delay(install, L"CustomActionData", delay, DELAY_SIZE))
        return ERROR_INSTALL_FAILURE;
    backup_rights(install, true);
    bool secured = secure_setting_folder(install, delay);
    backup_rights(install, false);
    return secured ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

// Before the service is stopped: its process, which a delay would keep stop-pending.
UINT WINAPI EndServiceProcess(MSIHANDLE install)
{
    return end_service_process(install) ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

// On the package's removal: the setting file cleared (within an upgrade, whose data is the
// upgrading product's code) or deleted with its folder, in a trusted folder only.
UINT WINAPI ReleaseSettingFolder(MSIHANDLE install)
{
    wchar_t upgrading[64] = L"";
    DWORD size = _countof(upgrading);
    MsiGetPropertyW(install, L"CustomActionData", upgrading, &size);
    backup_rights(install, true);
    if (upgrading[0] != L'\0')
        clear_setting_folder(install);
    else
        release_setting_folder(install);
    backup_rights(install, false);
    return ERROR_SUCCESS;
}

// Rollback of EndServiceProcess: the service runs again.
UINT WINAPI StartServiceAgain(MSIHANDLE install)
{
    start_service_again(install);
    return ERROR_SUCCESS;
}

} // extern "C"
