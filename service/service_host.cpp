// The power service under the service control manager. Two threads share what is here:
// the dispatcher thread (inside wmain's dispatcher: the control handler) and the service
// thread (ServiceMain, with the deferred power-off and the schedule's set-up and teardown).
#include "service_host.h"

#include "daily_schedule.h"
#include "deferred_power_off.h"
#include "power_actions.h"
#include "system_names.h"

ServiceApi service_api = {RegisterServiceCtrlHandlerW, SetServiceStatus, CreateEventW};

namespace {

constexpr DWORD START_WAIT_HINT = 3000;

SERVICE_STATUS status = {};
SERVICE_STATUS_HANDLE status_handle = nullptr;
DWORD next_checkpoint = 1; // never reset: the first report of the process carries 1
HANDLE stop_event = nullptr;

// The handler and the service thread may report at the same moment; one report is filled
// under this lock so that their fields never mix.
SRWLOCK status_lock = SRWLOCK_INIT;

DWORD controls_for(DWORD state)
{
    return state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
}

bool is_pending(DWORD state)
{
    return state != SERVICE_RUNNING && state != SERVICE_STOPPED;
}

// Under the lock: the record filled for the state (the standing one, for STANDING_STATE),
// as a copy to send. A pending state takes the counter's value and moves it on.
SERVICE_STATUS fill_status(DWORD state, DWORD exit_code, DWORD wait_hint)
{
    if (state == STANDING_STATE)
        state = status.dwCurrentState;
    status.dwCurrentState = state;
    status.dwWin32ExitCode = exit_code;
    status.dwWaitHint = wait_hint;
    status.dwControlsAccepted = controls_for(state);
    status.dwCheckPoint = is_pending(state) ? next_checkpoint : 0;
    if (is_pending(state))
        ++next_checkpoint;
    return status;
}

// Every report but stopped is sent under the lock, so that the handler's stop-pending cannot
// follow stopped. Stopped is sent once the lock is let go: SetServiceStatus(SERVICE_STOPPED)
// may wait for the dispatcher's lock, which the handler holds while it waits for ours.
void send_under_lock(SERVICE_STATUS report)
{
    if (report.dwCurrentState != SERVICE_STOPPED)
        service_api.set_status(status_handle, &report);
}

void send_after_lock(SERVICE_STATUS report)
{
    if (report.dwCurrentState == SERVICE_STOPPED)
        service_api.set_status(status_handle, &report);
}

} // namespace

void report_service_status(DWORD state, DWORD exit_code, DWORD wait_hint)
{
    AcquireSRWLockExclusive(&status_lock);
    SERVICE_STATUS report = fill_status(state, exit_code, wait_hint);
    send_under_lock(report);
    ReleaseSRWLockExclusive(&status_lock);
    send_after_lock(report);
}

void WINAPI service_control_handler(DWORD control)
{
    if (control != SERVICE_CONTROL_STOP)
        return;

    // Stop-pending goes out at once: the service thread may be inside a sleep of hours
    // and will only see the event when that is over.
    report_service_status(SERVICE_STOP_PENDING, NO_ERROR, 0);
    SetEvent(stop_event);

    // Report again with whatever state stands now; if the service thread has already
    // reported stopped, that is repeated rather than overwritten.
    report_service_status(STANDING_STATE, NO_ERROR, 0);
}

void WINAPI ServiceMain(DWORD, LPWSTR*)
{
    // The service is not the interactive user: its power requests go the service's way.
    shutdown_request = request_as_service;

    status_handle = service_api.register_handler(SERVICE_NAME_W, service_control_handler);
    if (status_handle == nullptr)
        return;

    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwServiceSpecificExitCode = 0;
    report_service_status(SERVICE_START_PENDING, NO_ERROR, START_WAIT_HINT);

    stop_event = service_api.create_event(nullptr, TRUE, FALSE, nullptr);
    if (stop_event == nullptr) {
        report_service_status(SERVICE_STOPPED, GetLastError(), 0);
        return;
    }

    // All the work happens in the running state.
    report_service_status(SERVICE_RUNNING, NO_ERROR, 0);
    if (!run_deferred_power_off())
        start_daily_schedule();

    WaitForSingleObject(stop_event, INFINITE);
    stop_daily_schedule();
    report_service_status(SERVICE_STOPPED, NO_ERROR, 0);
}
