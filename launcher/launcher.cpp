// KVButton: the program a user starts by hand to have the machine restarted now and
// powered off automatically some time after it is back up.
#include "launcher.h"

#include "restart_prompt.h"
#include "setting_file.h"
#include "window_shell.h"

#include <string.h>

namespace {

// Set by the reading of the configuration, before the prompt is shown.
DWORD no_duration = ONE_HOUR;

} // namespace

void load_launcher_config()
{
    no_duration = ONE_HOUR;
    char line[LINE_BUFFER_SIZE] = "";
    if (!read_setting_line(LAUNCHER_CONFIG_NAME_A, line))
        return;
    const char* token = setting_token(line);
    if (token == nullptr)
        return;
    launcher_delay(token, &no_duration);
}

DWORD launcher_no_duration()
{
    return no_duration;
}

bool start_launcher(HINSTANCE instance)
{
    const ShellState& shell = shell_state();
    HWND window = CreateWindowExW(0, shell.class_name, shell.window_title, WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr, instance,
                                  nullptr);
    if (window == nullptr)
        return false;

    // The window only owns the prompt and anchors the loop; it is never shown.
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);

    load_launcher_config();
    RestartChoice choice = run_restart_prompt(window, &no_duration);
    // After Yes or No the launcher waits, idle, for the restart to end it.
    if (choice != RestartChoice::Yes && choice != RestartChoice::No)
        PostQuitMessage(0);
    return true;
}
