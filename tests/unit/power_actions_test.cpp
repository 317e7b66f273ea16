// The forced restart and power-off, as each kind of caller asks for them: call, flags,
// reason, result and the token handle.
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

struct Way {
    const char* who;
    ShutdownRequest request;
    const char* call;
    DWORD restart, power_off;
};

// The desktop programs keep the default request; the service sets its own.
const Way WAYS[] = {
    {"the interactive user", shutdown_request, "ExitWindowsEx", RESTART_FLAGS, POWER_OFF_FLAGS},
    {"a service", request_as_service, "InitiateShutdownW", SERVICE_RESTART_FLAGS, SERVICE_POWER_OFF_FLAGS},
};

TEST(PowerActions, EachCallerMakesItsForcedPlannedRequestsGivingTheirAnswer)
{
    EXPECT_EQ(request_as_interactive_user, WAYS[0].request);
    for (const Way& way : WAYS) {
        shutdown_request = way.request;
        for (BOOL accepted : {TRUE, FALSE}) {
            PowerRecorder recorder;
            recorder.answer(accepted);
            EXPECT_EQ(accepted, restart_machine()) << way.who;
            EXPECT_EQ(accepted, power_off_machine()) << way.who;
            auto requests = recorder.requests();
            ASSERT_EQ(2u, requests.size()) << way.who;
            for (const PowerRequest& request : requests) {
                EXPECT_EQ(way.call, request.call) << way.who;
                EXPECT_EQ(PLANNED, request.reason) << way.who;
            }
            EXPECT_EQ(way.restart, requests[0].flags) << way.who;
            EXPECT_EQ(way.power_off, requests[1].flags) << way.who;
        }
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
    for (const Way& way : WAYS) {
        shutdown_request = way.request;
        for (int i = 0; i < 250; ++i) {
            restart_machine();
            power_off_machine();
        }
    }
    EXPECT_EQ(before, probe_handle());
    EXPECT_EQ(1000u, recorder.requests().size());
}

} // namespace
