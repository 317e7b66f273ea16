#include "service_process.h"

#include "setup_log.h"
#include "system_names.h"

namespace {

// How long the package waits for the ended process to be gone.
constexpr DWORD END_WAIT_MS = 30000;
// How often the process id is looked up again when it changes under the package's hands.
constexpr int END_ATTEMPTS = 3;

// The id of the service's process; 0 when it is stopped. False when it cannot be asked.
bool service_process_id(SC_HANDLE service, DWORD* id)
{
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof status, &needed))
        return false;
    *id = status.dwCurrentState == SERVICE_STOPPED ? 0 : status.dwProcessId;
    return true;
}

enum class Ended { yes, failed, moved };

// Ends the process `id` once, holding it, the service control manager still names it for
// the service: a process id may have been given to another process since it was asked.
Ended end_process(MSIHANDLE install, SC_HANDLE service, DWORD id)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (process == nullptr) {
        DWORD error = GetLastError();
        if (error == ERROR_INVALID_PARAMETER)
            return Ended::moved; // no process has that id: gone already, so ask again
        log_failure(install, error, L"the service's process %lu could not be opened", id);
        return Ended::failed;
    }
    DWORD named = 0;
    if (!service_process_id(service, &named)) {
        DWORD error = GetLastError();
        CloseHandle(process);
        log_failure(install, error, L"service %ls could not be asked for its process", SERVICE_NAME_W);
        return Ended::failed;
    }
    if (named != id) {
        CloseHandle(process);
        return Ended::moved;
    }
    DWORD error = ERROR_SUCCESS;
    if (!TerminateProcess(process, ERROR_PROCESS_ABORTED))
        error = GetLastError();
    else if (WaitForSingleObject(process, END_WAIT_MS) != WAIT_OBJECT_0)
        error = WAIT_TIMEOUT;
    CloseHandle(process);
    if (error != ERROR_SUCCESS) {
        log_failure(install, error, L"the service's process %lu could not be ended", id);
        return Ended::failed;
    }
    log_step(install, L"the service's process %lu ended.", id);
    return Ended::yes;
}

bool end_running(MSIHANDLE install, SC_HANDLE service)
{
    for (int attempt = 0; attempt < END_ATTEMPTS; ++attempt) {
        DWORD id = 0;
        if (!service_process_id(service, &id)) {
            log_failure(install, GetLastError(), L"service %ls could not be asked for its process", SERVICE_NAME_W);
            return false;
        }
        if (id == 0) {
            log_step(install, L"service %ls is not running.", SERVICE_NAME_W);
            return true;
        }
        Ended ended = end_process(install, service, id);
        if (ended != Ended::moved)
            return ended == Ended::yes;
    }
    log_step(install, L"the service's process kept changing while it was being ended.");
    return false;
}

// The service opened with the given access; null, said in the log, when it cannot be.
SC_HANDLE open_service(MSIHANDLE install, SC_HANDLE manager, DWORD access, DWORD* error)
{
    SC_HANDLE service = OpenServiceW(manager, SERVICE_NAME_W, access);
    *error = service == nullptr ? GetLastError() : ERROR_SUCCESS;
    if (*error == ERROR_SERVICE_DOES_NOT_EXIST)
        log_step(install, L"service %ls is not installed.", SERVICE_NAME_W);
    else if (service == nullptr)
        log_failure(install, *error, L"service %ls could not be opened", SERVICE_NAME_W);
    return service;
}

SC_HANDLE open_manager(MSIHANDLE install)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr)
        log_failure(install, GetLastError(), L"the service control manager could not be opened");
    return manager;
}

} // namespace

bool end_service_process(MSIHANDLE install)
{
    SC_HANDLE manager = open_manager(install);
    if (manager == nullptr)
        return false;
    DWORD error = ERROR_SUCCESS;
    SC_HANDLE service = open_service(install, manager, SERVICE_QUERY_STATUS, &error);
    bool ended = error == ERROR_SERVICE_DOES_NOT_EXIST;
    if (service != nullptr) {
        ended = end_running(install, service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return ended;
}

void start_service_again(MSIHANDLE install)
{
    SC_HANDLE manager = open_manager(install);
    if (manager == nullptr)
        return;
    DWORD error = ERROR_SUCCESS;
    SC_HANDLE service = open_service(install, manager, SERVICE_START | SERVICE_QUERY_STATUS, &error);
    DWORD id = 0;
    if (service != nullptr && service_process_id(service, &id) && id == 0) {
        if (StartServiceW(service, 0, nullptr))
            log_step(install, L"service %ls started again.", SERVICE_NAME_W);
        else
            log_failure(install, GetLastError(), L"service %ls could not be started again", SERVICE_NAME_W);
    }
    if (service != nullptr)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
}
