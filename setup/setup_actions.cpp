// The package's custom actions, run by Windows Installer as LocalSystem: deferred, not
// impersonating, each a step of the installation script whose failure rolls it back.
#include "service_process.h"
#include "setting_folder.h"

extern "C" {

// C:\NuvexKV, its rights and its setting file, on install, repair and upgrade.
UINT WINAPI SecureSettingFolder(MSIHANDLE install)
{
    return secure_setting_folder(install) ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

// Before the service is stopped: its process, which a delay would keep stop-pending.
UINT WINAPI EndServiceProcess(MSIHANDLE install)
{
    return end_service_process(install) ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

// Rollback of EndServiceProcess: the service runs again.
UINT WINAPI StartServiceAgain(MSIHANDLE install)
{
    start_service_again(install);
    return ERROR_SUCCESS;
}

} // extern "C"
