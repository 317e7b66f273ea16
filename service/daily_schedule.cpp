// The daily schedule. The tick runs on the timer queue's own thread, so it stays short:
// read the clock, compare two integers, at most one power request.
#include "daily_schedule.h"

#include "power_actions.h"
#include "setting_file.h"

ClockFunction schedule_clock = _time64;
ArmTimerFunction arm_schedule_timer = CreateTimerQueueTimer;

namespace {

constexpr char RESTART_MARKER[] = "kvrestarthr.nkv";
constexpr char POWER_OFF_MARKER[] = "kvshutdownhr.nkv";
constexpr int RESTART_HOUR = 19;
constexpr int POWER_OFF_HOUR = 20;
constexpr int NO_HOUR = 25; // matches no hour of the day
constexpr DWORD TICK_PERIOD = 60000;

// Written by the service thread before the timer exists, only read by the tick.
int restart_hour = NO_HOUR;
int power_off_hour = NO_HOUR;

// Used by the service thread only.
HANDLE timer_queue = nullptr;
HANDLE timer = nullptr;

// A marker switches its action on by being there; what it holds does not matter.
bool marker_present(const char* name)
{
    char line[LINE_BUFFER_SIZE] = "";
    return read_setting_line(name, line);
}

} // namespace

void start_daily_schedule()
{
    restart_hour = marker_present(RESTART_MARKER) ? RESTART_HOUR : NO_HOUR;
    power_off_hour = marker_present(POWER_OFF_MARKER) ? POWER_OFF_HOUR : NO_HOUR;

    timer_queue = CreateTimerQueue();
    if (timer_queue == nullptr)
        return;

    // Due at once, then every minute from the arming, not aligned to the clock's minutes.
    arm_schedule_timer(&timer, timer_queue, schedule_tick, nullptr, 0, TICK_PERIOD,
                       WT_EXECUTEINTIMERTHREAD);
}

void stop_daily_schedule()
{
    // No completion event: a tick in progress finishes on its own, and may still act.
    if (timer != nullptr)
        DeleteTimerQueueTimer(timer_queue, timer, nullptr);
    if (timer_queue != nullptr)
        DeleteTimerQueue(timer_queue);
    timer = nullptr;
    timer_queue = nullptr;
}

void CALLBACK schedule_tick(PVOID, BOOLEAN)
{
    __time64_t now = schedule_clock(nullptr);
    // The form that fills a record of ours: the other one hands out the runtime's shared
    // record, and Microsoft's runtime marks it deprecated.
    tm local = {};
    if (_localtime64_s(&local, &now) != 0 || local.tm_min != 0)
        return;

    // Restart wins when both hours are the same; the power-off is then not compared.
    if (local.tm_hour == restart_hour)
        restart_machine();
    else if (local.tm_hour == power_off_hour)
        power_off_machine();
}
