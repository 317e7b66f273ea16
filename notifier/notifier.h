// The tray notifier: an icon in the notification area that asks the restart question on
// a press of the left or right mouse button, and that cancels any power-off still
// pending about a second after it starts.
#pragma once

#include <windows.h>
#include <shellapi.h>

constexpr UINT TRAY_ICON_ID = 100;
constexpr UINT TRAY_CALLBACK_MESSAGE = WM_USER + 2; // 1026
constexpr UINT_PTR CLEAR_TIMER_ID = 500;
constexpr UINT_PTR REHIDE_TIMER_ID = 502;
constexpr UINT CLEAR_PERIOD = 1000;
constexpr UINT REHIDE_PERIOD = 5000;
constexpr int BAR_HEIGHT = 50;

// The steps of the start-up, in their order.
void register_notifier_class(HINSTANCE instance);
HWND create_notifier_window(HINSTANCE instance); // nullptr when it cannot be created
void add_tray_icon(HWND window);
void start_notifier_timers(HWND window);

LRESULT CALLBACK notifier_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// What the notifier holds: the record given to the shell, and the prompt's No-duration.
const NOTIFYICONDATAW& notifier_tray_record();
DWORD notifier_no_duration();
