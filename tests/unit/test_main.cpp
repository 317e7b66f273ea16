// Test entry: no test process may ever ask Windows to end the session for real.
//
// Tests name a loop's case in each assertion's message rather than with SCOPED_TRACE, whose
// first use on a thread starts a watcher thread (Wine's quirks, in the README, say why
// that matters).
#include "power_actions.h"
#include "power_recorder.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    refuse_power_requests();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
