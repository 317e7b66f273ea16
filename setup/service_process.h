// The power service's process, as the service control manager knows it. A service in its
// delay stays stop-pending until the delay is over, so the package ends its process
// before it stops the service, and starts it again when the installation is rolled back.
#pragma once

#include <windows.h>
#include <msiquery.h>

// Ends the process the service control manager names for the service, if one runs, and
// waits for it to end. False, said in the log, when it cannot be ended.
bool end_service_process(MSIHANDLE install);

// Starts the service when it is installed and not running.
void start_service_again(MSIHANDLE install);
