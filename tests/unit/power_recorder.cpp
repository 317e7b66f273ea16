#include "power_recorder.h"

#include "power_actions.h"

#include <gtest/gtest.h>

namespace {

std::mutex lock;
std::vector<PowerRequest> recorded;
BOOL next_answer = TRUE;

BOOL WINAPI record_exit_windows(UINT flags, DWORD reason)
{
    std::lock_guard<std::mutex> hold(lock);
    recorded.push_back({flags, reason, GetTickCount()});
    return next_answer;
}

} // namespace

BOOL WINAPI refuse_exit_windows(UINT flags, DWORD)
{
    ADD_FAILURE() << "a power request (flags " << flags << ") reached no recorder";
    return FALSE;
}

PowerRecorder::PowerRecorder()
{
    std::lock_guard<std::mutex> hold(lock);
    recorded.clear();
    next_answer = TRUE;
    exit_windows_request = record_exit_windows;
}

PowerRecorder::~PowerRecorder()
{
    exit_windows_request = refuse_exit_windows;
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
