// The power-off that a prompt answer left pending in the setting file.
#pragma once

#include <windows.h>

// Reads the setting file; when it names a duration, sleeps that long, reads it again and,
// when it still names the same duration, clears it and powers the machine off. Returns
// true when the first reading found something pending, whatever came of it.
bool run_deferred_power_off();

// Seam: the one blocking wait of the delay. Sleep in the program; tests stand in for it,
// since the delay runs up to four hours.
using SleepFunction = void(WINAPI*)(DWORD milliseconds);
extern SleepFunction deferred_sleep;
