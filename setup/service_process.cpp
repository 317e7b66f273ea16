#include "service_process.h"

#include "service_host.h"
#include "setup_log.h"

namespace {

// How long the package waits for the ended process to be gone.
constexpr DWORD END_WAIT_MS = 30000;

// The service opened with the given access; null, said in the log, when it is not there.
SC_HANDLE open_service(MSIHANDLE install, SC_HANDLE manager, DWORD access)
{
    SC_HANDLE service = manager ? OpenServiceW(manager, SERVICE_NAME, access) : nullptr;
    DWORD error = GetLastError();
    if (service == nullptr && error == ERROR_SERVICE_DOES_NOT_EXIST)
        log_step(install, L"service %ls is not installed.", SERVICE_NAME);
    else if (service == nullptr)
        log_step(install, L"service %ls not opened (Windows error %lu).", SERVICE_NAME, error);
    return service;
}

DWORD service_process_id(SC_HANDLE service)
{
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof status, &needed) ||
        status.dwCurrentState == SERVICE_STOPPED)
        return 0;
    return status.dwProcessId;
}

bool end_process(MSIHANDLE install, DWORD id)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    bool ended = process != nullptr && TerminateProcess(process, ERROR_PROCESS_ABORTED) &&
                 WaitForSingleObject(process, END_WAIT_MS) == WAIT_OBJECT_0;
    DWORD error = GetLastError();
    if (process != nullptr)
        CloseHandle(process);
    if (ended)
        log_step(install, L"the service's process %lu ended.", id);
    else
        log_step(install, L"the service's process %lu could not be ended (Windows error %lu).", id, error);
    return ended;
}

} // namespace

bool end_service_process(MSIHANDLE install)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = open_service(install, manager, SERVICE_QUERY_STATUS);
    DWORD id = service ? service_process_id(service) : 0;
    if (service != nullptr && id == 0)
        log_step(install, L"service %ls is not running.", SERVICE_NAME);
    bool ended = id == 0 || end_process(install, id);
    if (service != nullptr)
        CloseServiceHandle(service);
    if (manager != nullptr)
        CloseServiceHandle(manager);
    return ended;
}

void start_service_again(MSIHANDLE install)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = open_service(install, manager, SERVICE_START | SERVICE_QUERY_STATUS);
    if (service != nullptr && service_process_id(service) == 0) {
        if (StartServiceW(service, 0, nullptr))
            log_step(install, L"service %ls started again.", SERVICE_NAME);
        else
            log_step(install, L"service %ls not started again (Windows error %lu).", SERVICE_NAME,
                     GetLastError());
    }
    if (service != nullptr)
        CloseServiceHandle(service);
    if (manager != nullptr)
        CloseServiceHandle(manager);
}
