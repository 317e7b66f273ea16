// Lines in the installer's log (msiexec /l*v): what each step of the package's SYSTEM
// work did, and why it stopped.
#pragma once

#include <windows.h>
#include <msiquery.h>

// Writes one line, formatted as by swprintf; a Windows error code is given by the caller.
void log_step(MSIHANDLE install, const wchar_t* format, ...);
