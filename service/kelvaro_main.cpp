// Entry of kelvaro.exe, kept apart from the service frame so that the test programs,
// which have a main of their own, link the frame without it.
#include "service_host.h"
#include "system_names.h"

int wmain()
{
    SERVICE_TABLE_ENTRYW table[] = {
        {const_cast<LPWSTR>(SERVICE_NAME_W), ServiceMain},
        {nullptr, nullptr},
    };
    // Returns when the service has stopped, or at once outside the service control
    // manager: either way there is nothing more to do.
    StartServiceCtrlDispatcherW(table);
    return 0;
}
