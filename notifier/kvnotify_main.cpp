// Entry of kvnotify.exe, kept apart from the notifier so that the tests, which have a
// main of their own, link the notifier without it.
#include "notifier.h"

#include "window_shell.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // The current directory (c:\NuvexKV, where the launcher starts) comes off the DLL
    // search path before anything this program does not import is loaded.
    SetDllDirectoryW(L"");
    register_notifier_class(instance);
    HWND window = create_notifier_window(instance);
    if (window == nullptr)
        return 0;

    add_tray_icon(window); // the icon is in place before the timers start
    start_notifier_timers(window);
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    return run_message_loop(instance);
}
