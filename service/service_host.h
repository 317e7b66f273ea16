// The frame of the power service: its service main, its control handler and the reports
// of its status. (Its entry, wmain, is in kelvaro_main.cpp.)
#pragma once

#include <windows.h>

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv);
void WINAPI service_control_handler(DWORD control);

// No state of a service: the state the record holds at the moment of the report, read under
// the lock the report is filled under (the control handler's second report).
constexpr DWORD STANDING_STATE = 0;

// Fills the status record for the state and sends it.
void report_service_status(DWORD state, DWORD exit_code, DWORD wait_hint);

// Seam: the three calls through which the service meets the service control manager and
// the kernel. The program uses the real ones; tests record the status reports, stand in
// for the registration and make the event creation fail.
struct ServiceApi {
    SERVICE_STATUS_HANDLE(WINAPI* register_handler)(LPCWSTR name, LPHANDLER_FUNCTION handler);
    BOOL(WINAPI* set_status)(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status);
    HANDLE(WINAPI* create_event)(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset,
                                 BOOL initial_state, LPCWSTR name);
};
extern ServiceApi service_api;
