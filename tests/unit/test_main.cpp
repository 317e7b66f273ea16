// Test entry: no test process may ever ask Windows to end the session for real.
#include "power_actions.h"
#include "power_recorder.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    exit_windows_request = refuse_exit_windows;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
