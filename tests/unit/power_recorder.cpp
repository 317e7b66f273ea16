#include "power_recorder.h"

#include "power_actions.h"

#include <gtest/gtest.h>

namespace {

std::mutex lock;
std::vector<PowerRequest> recorded;
BOOL next_answer = TRUE;

BOOL record(std::string call, DWORD flags, DWORD reason)
{
    std::lock_guard<std::mutex> hold(lock);
    recorded.push_back({call, flags, reason, GetTickCount()});
    return next_answer;
}

BOOL WINAPI record_exit_windows(UINT flags, DWORD reason)
{
    return record("ExitWindowsEx", flags, reason);
}

DWORD WINAPI record_initiate_shutdown(LPWSTR machine, LPWSTR message, DWORD grace, DWORD flags, DWORD reason)
{
    std::string call = "InitiateShutdownW";
    if (machine != nullptr || message != nullptr || grace != 0)
        call += " with a machine, a message or a grace period";
    return record(call, flags, reason) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

BOOL WINAPI refuse_exit_windows(UINT flags, DWORD)
{
    ADD_FAILURE() << "ExitWindowsEx (flags " << flags << ") reached no recorder";
    return FALSE;
}

DWORD WINAPI refuse_initiate_shutdown(LPWSTR, LPWSTR, DWORD, DWORD flags, DWORD)
{
    ADD_FAILURE() << "InitiateShutdownW (flags " << flags << ") reached no recorder";
    return ERROR_ACCESS_DENIED;
}

} // namespace

void refuse_power_requests()
{
    exit_windows_request = refuse_exit_windows;
    initiate_shutdown_request = refuse_initiate_shutdown;
}

PowerRecorder::PowerRecorder()
{
    std::lock_guard<std::mutex> hold(lock);
    recorded.clear();
    next_answer = TRUE;
    exit_windows_request = record_exit_windows;
    initiate_shutdown_request = record_initiate_shutdown;
}

PowerRecorder::~PowerRecorder()
{
    refuse_power_requests();
}

std::vector<PowerRequest> PowerRecorder::requests()
{
    std::lock_guard<std::mutex> hold(lock);
    return recorded;
}

void PowerRecorder::answer(BOOL accepted)
{
    std::lock_guard<std::mutex> hold(lock);
    next_answer = accepted;
}

bool PowerRecorder::wait_for_requests(size_t count, DWORD timeout_ms)
{
    for (DWORD waited = 0; waited < timeout_ms; waited += 10) {
        if (requests().size() >= count)
            return true;
        Sleep(10);
    }
    return requests().size() >= count;
}
