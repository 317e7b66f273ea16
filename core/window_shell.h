// The frame both desktop programs stand on: a private window class with menu and
// accelerators, the shared window-procedure cases, the About box and the message loop.
#pragma once

#include <windows.h>

constexpr int SHELL_TEXT_SIZE = 100;

struct ShellState {
    HINSTANCE instance;
    wchar_t window_title[SHELL_TEXT_SIZE];
    wchar_t class_name[SHELL_TEXT_SIZE];
};

// Loads the title and class name, registers the class and keeps the instance.
void register_main_window_class(HINSTANCE instance, WNDPROC window_proc, int class_icon);

// What register_main_window_class stored.
const ShellState& shell_state();

LRESULT CALLBACK shell_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK about_box_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Runs until WM_QUIT and returns its exit code.
int run_message_loop(HINSTANCE instance);
