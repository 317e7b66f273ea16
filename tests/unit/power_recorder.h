// Stands in for the real power requests and remembers every call.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

struct PowerRequest {
    std::string call; // "ExitWindowsEx", or "InitiateShutdownW" for the local machine, at once,
                      // with no message; anything else InitiateShutdownW was asked says so
    DWORD flags;
    DWORD reason;
    DWORD at; // GetTickCount() when it was made
};

class PowerRecorder {
public:
    PowerRecorder(); // points the power requests at the recorder
    ~PowerRecorder();
    std::vector<PowerRequest> requests();
    void answer(BOOL accepted);
    bool wait_for_requests(size_t count, DWORD timeout_ms);
};

// Where the power requests point whenever no recorder is in place: a real request would
// end every process of the test's Wine session.
void refuse_power_requests();

// ExitWindowsEx's flags for a forced restart and power-off, and InitiateShutdownW's:
// restart or power-off with every session, the caller's too, ended by force.
constexpr UINT RESTART_FLAGS = 6;
constexpr UINT POWER_OFF_FLAGS = 12;
constexpr DWORD SERVICE_RESTART_FLAGS = 0x4 | 0x1 | 0x2;
constexpr DWORD SERVICE_POWER_OFF_FLAGS = 0x8 | 0x1 | 0x2;
constexpr DWORD PLANNED = 0x80000000;
