// kvnotify: the resident tray program. Its main window is never shown; it owns the icon,
// the two timers and the prompt. One thread: while a prompt or the About box is open,
// their modal loops still dispatch the window's timer ticks and further icon presses.
#include "notifier.h"

#include "resource_ids.h"
#include "restart_prompt.h"
#include "setting_file.h"
#include "trusted_setting.h"
#include "window_shell.h"

#include <wchar.h>

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(NOTIFYICONDATAW) == 956, "the tray record is the full, 956-byte one");
#endif

namespace {

NOTIFYICONDATAW tray = {};
DWORD no_duration = 0; // 0 until a clearing tick or an answer has written the setting file
bool setting_cleared = false;
int rehide_phase = 0;

// The clearing tick is done with the setting file, once it has cleared it or an answer
// has written it: from here on the file belongs to the prompt's answers.
void end_clearing()
{
    no_duration = ONE_HOUR;
    setting_cleared = true;
}

// Rewrites the setting file to the bare "Setting=", so that a pending power-off finds
// nothing when the service's delay ends. Retried every second until it succeeds.
void on_clear_tick()
{
    if (setting_cleared)
        return;
    if (write_setting("") != WRITE_OK)
        return;
    end_clearing();
}

// Asks the window to close on every other tick; closing only hides it.
void on_rehide_tick(HWND window)
{
    if (rehide_phase == 0) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        rehide_phase = 1;
    } else {
        rehide_phase = 0;
    }
}

LRESULT on_timer(HWND window, WPARAM timer_id, LPARAM lparam)
{
    switch (timer_id) {
    case CLEAR_TIMER_ID:
        on_clear_tick();
        return 0;
    case REHIDE_TIMER_ID:
        on_rehide_tick(window);
        return 0;
    default:
        return DefWindowProcW(window, WM_TIMER, timer_id, lparam);
    }
}

void ask_restart(HWND window)
{
    int write_status = WRITE_FAILED;
    RestartChoice choice = run_restart_prompt(window, &no_duration, &write_status);
    // After Yes or No the restart is on its way; otherwise nothing changed.
    if (choice != RestartChoice::Yes && choice != RestartChoice::No) {
        ShowWindow(window, SW_HIDE);
        return;
    }
    // The restart is asynchronous, and may be refused: a clearing tick still to come must
    // not wipe the request just written, so the answer counts as the clearing.
    if (write_status == WRITE_OK)
        end_clearing();
}

// The shell reports mouse events on the icon with the mouse message as lParam. The
// prompt opens on the press, not on the release.
LRESULT on_icon_event(HWND window, WPARAM wparam, LPARAM lparam)
{
    switch (lparam) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        ask_restart(window);
        return 0;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
        return 0;
    default:
        return DefWindowProcW(window, TRAY_CALLBACK_MESSAGE, wparam, lparam);
    }
}

LRESULT on_destroy(HWND window)
{
    KillTimer(window, CLEAR_TIMER_ID);
    KillTimer(window, REHIDE_TIMER_ID);
    return shell_window_proc(window, WM_DESTROY, 0, 0);
}

} // namespace

void register_notifier_class(HINSTANCE instance)
{
    // The small icon serves as the class icon too.
    register_main_window_class(instance, notifier_window_proc, IDI_APP_SMALL);
}

HWND create_notifier_window(HINSTANCE instance)
{
    // The notifier starts afresh with its window: nothing cleared or answered yet, the
    // re-hide rhythm at its beginning.
    no_duration = 0;
    setting_cleared = false;
    rehide_phase = 0;
    // A full-width bar along the bottom of the primary screen, above other windows; it
    // stays hidden.
    const ShellState& shell = shell_state();
    return CreateWindowExW(WS_EX_TOPMOST, shell.class_name, shell.window_title,
                           WS_OVERLAPPEDWINDOW, 0, GetSystemMetrics(SM_CYSCREEN) - BAR_HEIGHT,
                           GetSystemMetrics(SM_CXSCREEN), BAR_HEIGHT, nullptr, nullptr, instance,
                           nullptr);
}

void add_tray_icon(HWND window)
{
    tray.cbSize = sizeof(tray);
    tray.hWnd = window;
    tray.uID = TRAY_ICON_ID;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray.uCallbackMessage = TRAY_CALLBACK_MESSAGE;
    tray.hIcon = LoadIconW(shell_state().instance, MAKEINTRESOURCEW(IDI_APP_SMALL));
    wcscpy_s(tray.szTip, PROMPT_CAPTION);
    // Never sent with NIM_SETVERSION, so the shell keeps its default callback form.
    tray.uVersion = NOTIFYICON_VERSION;
    // Added once; if the notification area cannot take it, the program runs on without.
    Shell_NotifyIconW(NIM_ADD, &tray);
}

void start_notifier_timers(HWND window)
{
    SetTimer(window, CLEAR_TIMER_ID, CLEAR_PERIOD, nullptr);
    SetTimer(window, REHIDE_TIMER_ID, REHIDE_PERIOD, nullptr);
}

LRESULT CALLBACK notifier_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case TRAY_CALLBACK_MESSAGE:
        return on_icon_event(window, wparam, lparam);
    case WM_TIMER:
        return on_timer(window, wparam, lparam);
    case WM_CLOSE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        ShowWindow(window, SW_HIDE);
        return 0;
    case WM_PAINT:
    case WM_COMMAND:
        return shell_window_proc(window, message, wparam, lparam);
    case WM_ENDSESSION:
        // The session ends, or Restart Manager closes the notifier so that an installation
        // can replace it (ENDSESSION_CLOSEAPP): it ends then, as its guidelines ask, where
        // WM_CLOSE only hides it.
        if (wparam)
            DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        return on_destroy(window);
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

const NOTIFYICONDATAW& notifier_tray_record()
{
    return tray;
}

DWORD notifier_no_duration()
{
    return no_duration;
}
