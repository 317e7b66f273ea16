// The power service's process, as the service control manager knows it. A service in its
// delay stays stop-pending until the delay is over, so the package ends its process
// before it stops the service, and starts it again when the installation is rolled back.
#pragma once

#include <windows.h>
#include <msiquery.h>

// Ends the process the service control manager names for the service, if one runs, and
// waits for it to end. False, said in the log, on anything but success, a service not
// installed or one not running: the package then stops rather than wait on it.
bool end_service_process(MSIHANDLE install);

// Starts the service when it is installed and not running.
void start_service_again(MSIHANDLE install);
