// The setting file that hands a pending power-off from the desktop programs to the
// power service, the duration tokens it may hold, and the one rule by which every
// one-line file of the system is read.
#pragma once

#include "system_names.h"

#include <windows.h>

// Every reader uses a buffer of this size that starts as an empty string.
constexpr int LINE_BUFFER_SIZE = 1024;

// Durations in milliseconds, only ever compared for equality.
constexpr DWORD FIVE_MINUTES = 300000;
constexpr DWORD THIRTY_MINUTES = 1800000;
constexpr DWORD ONE_HOUR = 3600000;
constexpr DWORD TWO_HOURS = 7200000;
constexpr DWORD FOUR_HOURS = 14400000;

// Result of write_setting.
constexpr int WRITE_OK = 0;
constexpr int WRITE_FAILED = 2;

// Reads the last line of a file (terminator included, if it had one) into
// line[LINE_BUFFER_SIZE]. Returns false when the file cannot be opened; the buffer is
// then left as it was.
bool read_setting_line(const char* path, char* line);

// The same rule on a file the caller has opened for synchronous reading and still owns.
// False when no stream can be made of it.
bool read_setting_handle(HANDLE file, char* line);

// The text from index 8 of the line, or nullptr when the line has 10 bytes or fewer.
const char* setting_token(const char* line);

// Maps a whole token to its duration; false for anything else (case and terminators count).
bool token_to_duration(const char* token, DWORD* duration);

// One of the launcher's four delays, which its configuration chooses the No-duration among:
// a token of the table other than "5mins" (five minutes is always the Yes answer).
bool launcher_delay(const char* token, DWORD* duration);

// "30mins", "1hr" or "2hr" for their durations, "4hr" for every other value.
const char* duration_to_token(DWORD duration);

// The same on a file the caller has opened for synchronous writing, emptied, and still owns.
int write_setting_handle(HANDLE file, const char* token);

// The marks that make Windows refuse to replace a file (CREATE_ALWAYS): hidden, system,
// read-only. A writer takes them off first.
constexpr DWORD REWRITE_REFUSING_MARKS =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
