// The forced restart and power-off: flags, reason, result and the token handle.
#include "power_actions.h"
#include "power_recorder.h"

#include <gtest/gtest.h>

namespace {

// Handles are reused lowest-first, so a leaked handle per call shows as a fresh handle
// far above the one taken before the calls.
HANDLE probe_handle()
{
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    CloseHandle(token);
    return token;
}

bool shutdown_privilege_enabled(HANDLE token)
{
    LUID shutdown = {};
    LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &shutdown);
    BYTE buffer[4096];
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenPrivileges, buffer, sizeof(buffer), &size))
        return false;
    const TOKEN_PRIVILEGES* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer);
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& entry = privileges->Privileges[i];
        if (entry.Luid.LowPart == shutdown.LowPart && entry.Luid.HighPart == shutdown.HighPart)
            return (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    return false;
}

TEST(PowerActions, RestartAndPowerOffAreForcedPlannedRequestsGivingTheirAnswer)
{
    for (BOOL accepted : {TRUE, FALSE}) {
        PowerRecorder recorder;
        recorder.answer(accepted);
        EXPECT_EQ(accepted, restart_machine());
        EXPECT_EQ(accepted, power_off_machine());
        auto requests = recorder.requests();
        ASSERT_EQ(2u, requests.size());
        EXPECT_EQ(RESTART_FLAGS, requests[0].flags);
        EXPECT_EQ(POWER_OFF_FLAGS, requests[1].flags);
        EXPECT_TRUE(requests[0].reason == PLANNED && requests[1].reason == PLANNED);
    }
}

TEST(PowerActions, PrivilegeIsEnabledInTheReturnedToken)
{
    HANDLE token = enable_shutdown_privilege();
    ASSERT_NE(nullptr, token);
    EXPECT_TRUE(shutdown_privilege_enabled(token));
    CloseHandle(token);
}

TEST(PowerActions, TokenHandleIsClosedBeforeTheActionReturns)
{
    PowerRecorder recorder;
    HANDLE before = probe_handle();
    for (int i = 0; i < 500; ++i) {
        restart_machine();
        power_off_machine();
    }
    EXPECT_EQ(before, probe_handle());
    EXPECT_EQ(1000u, recorder.requests().size());
}

} // namespace
