// Stands in for the real power request and remembers every call.
#pragma once

#include <windows.h>

#include <mutex>
#include <vector>

struct PowerRequest {
    UINT flags;
    DWORD reason;
    DWORD at; // GetTickCount() when it was made
};

class PowerRecorder {
public:
    PowerRecorder(); // points the power actions at the recorder
    ~PowerRecorder();
    std::vector<PowerRequest> requests();
    void answer(BOOL accepted);
    bool wait_for_requests(size_t count, DWORD timeout_ms);
};

// Where the power actions point whenever no recorder is in place: a real request would
// end every process of the test's Wine session.
BOOL WINAPI refuse_exit_windows(UINT flags, DWORD reason);

constexpr UINT RESTART_FLAGS = 6;
constexpr UINT POWER_OFF_FLAGS = 12;
constexpr DWORD PLANNED = 0x80000000;
