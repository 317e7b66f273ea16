// Test entry: no test process may ever ask Windows to end the session for real.
//
// Tests name a loop's case in each assertion's message rather than with SCOPED_TRACE: on
// Windows the first SCOPED_TRACE of a thread makes gtest start a watcher thread, and Wine's
// 32-bit loader was seen to crash (SIGSEGV) when a test process ended while that thread
// was still starting.
#include "power_actions.h"
#include "power_recorder.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    exit_windows_request = refuse_exit_windows;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
