// The prompt launcher: reads its configuration, asks the restart question once and acts
// on the answer.
#pragma once

#include "setting_file.h"

#include <windows.h>

// Creates the hidden main window, chooses the No-duration and asks. False only when the
// window cannot be created.
bool start_launcher(HINSTANCE instance);

// Sets the No-duration from the configuration file; leaves it at one hour otherwise.
void load_launcher_config();

// The No-duration the prompt offers, in ms.
DWORD launcher_no_duration();
