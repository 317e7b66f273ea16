// The daily schedule: marker files in the current directory, the timer due at once, and
// the tick at chosen local times.
#include "daily_schedule.h"
#include "power_actions.h"
#include "power_recorder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace {

constexpr char MARKER_FOLDER[] = "C:\\kvschedule";

std::atomic<__time64_t> clock_now{0};
std::atomic<int> clock_reads{0};

// Counts a reading only once the time is read, so that a test that sees the count may move
// the clock without changing what that reading returned.
__time64_t fake_clock(__time64_t* now)
{
    const __time64_t time = clock_now;
    ++clock_reads;
    if (now != nullptr)
        *now = time;
    return time;
}

__time64_t local_time(int hour, int minute, int second)
{
    tm local = {};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 7;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return _mktime64(&local);
}

enum class Action { None, Restart, PowerOff };

class DailySchedule : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateDirectoryA(MARKER_FOLDER, nullptr);
        SetCurrentDirectoryA(MARKER_FOLDER);
        clear_markers();
        schedule_clock = fake_clock;
        shutdown_request = request_as_service; // as the service sets it when it starts
    }
    void TearDown() override
    {
        stop_daily_schedule();
        schedule_clock = _time64;
        clear_markers();
        SetCurrentDirectoryA("C:\\");
        RemoveDirectoryA(MARKER_FOLDER);
    }
    static void clear_markers()
    {
        DeleteFileA("C:\\kvschedule\\kvrestarthr.nkv");
        DeleteFileA("C:\\kvschedule\\kvshutdownhr.nkv");
    }

    // Arms the schedule at a quiet hour and waits for the timer's first tick, which is due
    // at once; from then on the tick is driven by hand.
    static void arm_and_wait_for_first_tick()
    {
        clock_now = local_time(12, 30, 0);
        clock_reads = 0;
        start_daily_schedule();
        for (int i = 0; i < 500 && clock_reads == 0; ++i)
            Sleep(10);
        ASSERT_GT(clock_reads.load(), 0) << "the timer's first tick did not come at once";
    }

    static Action tick_at(__time64_t when)
    {
        PowerRecorder recorder;
        clock_now = when;
        schedule_tick(nullptr, TRUE);
        auto requests = recorder.requests();
        if (requests.empty())
            return Action::None;
        EXPECT_EQ(1u, requests.size());
        EXPECT_EQ("InitiateShutdownW", requests[0].call);
        EXPECT_EQ(PLANNED, requests[0].reason);
        return requests[0].flags == SERVICE_RESTART_FLAGS ? Action::Restart : Action::PowerOff;
    }
};

struct TickCase {
    int hour, minute, second;
    Action none, restart_only, power_off_only, both;
};

TEST_F(DailySchedule, TickActsOnlyInMinuteZeroOfTheMarkedHours)
{
    const Action N = Action::None, R = Action::Restart, P = Action::PowerOff;
    const TickCase cases[] = {
        {18, 59, 59, N, N, N, N}, {19, 0, 0, N, R, N, R}, {19, 0, 59, N, R, N, R},
        {19, 1, 0, N, N, N, N},   {19, 59, 0, N, N, N, N}, {20, 0, 0, N, N, P, P},
        {20, 0, 59, N, N, P, P},  {20, 1, 0, N, N, N, N},  {0, 0, 0, N, N, N, N},
        {7, 0, 0, N, N, N, N},
    };
    const char* markers[4][2] = {{nullptr, nullptr},
                                 {"kvrestarthr.nkv", nullptr},
                                 {nullptr, "kvshutdownhr.nkv"},
                                 {"kvrestarthr.nkv", "kvshutdownhr.nkv"}};
    for (int m = 0; m < 4; ++m) {
        clear_markers();
        for (const char* marker : markers[m])
            if (marker != nullptr)
                write_bytes(std::string(MARKER_FOLDER) + "\\" + marker, m == 3 ? "anything at all\n" : "");
        arm_and_wait_for_first_tick();
        for (const TickCase& c : cases) {
            Action expected[] = {c.none, c.restart_only, c.power_off_only, c.both};
            EXPECT_EQ(expected[m], tick_at(local_time(c.hour, c.minute, c.second)))
                << "markers " << m << " at " << c.hour << ":" << c.minute << ":" << c.second;
        }
        stop_daily_schedule();
    }
}

// The timer as the schedule arms it, run a hundred times faster.
constexpr DWORD SPEED_UP = 100;
DWORD asked_due = 1, asked_period = 0;
BOOL WINAPI arm_faster(PHANDLE timer, HANDLE queue, WAITORTIMERCALLBACK callback, PVOID parameter,
                       DWORD due, DWORD period, ULONG flags)
{
    asked_due = due;
    asked_period = period;
    return CreateTimerQueueTimer(timer, queue, callback, parameter, due, period / SPEED_UP, flags);
}

TEST_F(DailySchedule, FirstTickComesAtOnceAndCanActThenEveryMinute)
{
    // A service started inside minute 0 of the restart hour restarts on its first tick.
    write_bytes("C:\\kvschedule\\kvrestarthr.nkv", "");
    PowerRecorder recorder;
    clock_now = local_time(19, 0, 20);
    arm_schedule_timer = arm_faster;
    start_daily_schedule();
    arm_schedule_timer = CreateTimerQueueTimer;
    EXPECT_EQ(0u, asked_due);
    EXPECT_EQ(60000u, asked_period);
    ASSERT_TRUE(recorder.wait_for_requests(1, 5000));
    EXPECT_EQ(SERVICE_RESTART_FLAGS, recorder.requests()[0].flags);

    // The clock stands still here, so the next tick restarts again: timed where the
    // requests are made, not where this thread notices them.
    ASSERT_TRUE(recorder.wait_for_requests(2, 5000));
    DWORD period = recorder.requests()[1].at - recorder.requests()[0].at;
    EXPECT_GE(period, 60000u / SPEED_UP - 20) << "the tick count's own steps aside";
    EXPECT_LE(period, 60000u / SPEED_UP + 1000) << "a loaded machine may be late, not by a period";
}

TEST_F(DailySchedule, MarkersAreReadOnlyAtStart)
{
    arm_and_wait_for_first_tick();
    write_bytes("C:\\kvschedule\\kvshutdownhr.nkv", "");
    EXPECT_EQ(Action::None, tick_at(local_time(20, 0, 0)));
    stop_daily_schedule();

    arm_and_wait_for_first_tick();
    EXPECT_EQ(Action::PowerOff, tick_at(local_time(20, 0, 0)));
}

} // namespace
