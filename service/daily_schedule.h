// The daily forced restart at 19:00 and power-off at 20:00, each switched on by the
// presence of a marker file in the service's current directory.
#pragma once

#include <windows.h>
#include <time.h>

// Reads the marker files and arms a timer that looks at the clock every 60 s.
void start_daily_schedule();

// Deletes the timer and its queue, where they were created.
void stop_daily_schedule();

// The timer's callback: acts when the local time is in minute 0 of a configured hour.
void CALLBACK schedule_tick(PVOID parameter, BOOLEAN timer_fired);

// Seam: the clock the tick reads. _time64 in the program; tests set chosen local times.
using ClockFunction = __time64_t (*)(__time64_t* now);
extern ClockFunction schedule_clock;

// Seam: the call that arms the timer, CreateTimerQueueTimer in the program. Tests see the
// due time and period it is asked for, and run it on a shorter period.
using ArmTimerFunction = BOOL(WINAPI*)(PHANDLE timer, HANDLE queue, WAITORTIMERCALLBACK callback,
                                       PVOID parameter, DWORD due, DWORD period, ULONG flags);
extern ArmTimerFunction arm_schedule_timer;
