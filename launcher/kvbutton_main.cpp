// Entry of KVButton.exe, kept apart from the launcher so that the tests, which have a
// main of their own, link the launcher without it.
#include "launcher.h"

#include "resource_ids.h"
#include "window_shell.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // The current directory (c:\NuvexKV, where the launcher starts) comes off the DLL
    // search path before anything this program does not import is loaded.
    SetDllDirectoryW(L"");
    register_main_window_class(instance, shell_window_proc, IDI_APP);
    if (!start_launcher(instance))
        return 0;
    return run_message_loop(instance);
}
