// Without the shutdown privilege, no power request is made. This removes the privilege
// from the token of its own process for good, so it runs in a process of its own.
#include "power_actions.h"
#include "power_recorder.h"

#include <gtest/gtest.h>

namespace {

void remove_shutdown_privilege()
{
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    TOKEN_PRIVILEGES removal = {};
    removal.PrivilegeCount = 1;
    LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &removal.Privileges[0].Luid);
    removal.Privileges[0].Attributes = SE_PRIVILEGE_REMOVED;
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, &removal, 0, nullptr, nullptr));
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    CloseHandle(token);
}

TEST(PowerWithoutPrivilege, ActionsReturnZeroAndRequestNothing)
{
    PowerRecorder recorder;
    remove_shutdown_privilege();

    EXPECT_EQ(nullptr, enable_shutdown_privilege());
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED), GetLastError());
    EXPECT_FALSE(restart_machine());
    EXPECT_FALSE(power_off_machine());
    EXPECT_TRUE(recorder.requests().empty());

    // The token opened for the failed attempt is closed again: the next handle handed out
    // is the one a single open and close gave before.
    HANDLE probe = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &probe);
    CloseHandle(probe);
    for (int i = 0; i < 200; ++i)
        restart_machine();
    HANDLE again = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &again);
    CloseHandle(again);
    EXPECT_EQ(probe, again);
}

} // namespace
