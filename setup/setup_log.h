// Lines in the installer's log (msiexec /l*v): what each step of the package's SYSTEM
// work did, and why it stopped.
#pragma once

#include <windows.h>
#include <msiquery.h>

// Writes one line, formatted as by swprintf.
void log_step(MSIHANDLE install, const wchar_t* format, ...);

// Writes one line that ends in a Windows error: what failed, formatted as by swprintf,
// then ": ", the system's own words for the error and its number.
void log_failure(MSIHANDLE install, DWORD error, const wchar_t* format, ...);

// Seam: where a finished line goes. The installer's log in the DLL; tests keep the lines.
using LogSink = void (*)(MSIHANDLE install, const wchar_t* line);
extern LogSink setup_log_sink;
