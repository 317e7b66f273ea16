#include "dialog_answerer.h"
#include "window_shell.h"

#include <gtest/gtest.h>

std::vector<HWND> windows_of_this_process(const wchar_t* class_name, const wchar_t* title)
{
    std::vector<HWND> windows;
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, class_name, title)) != nullptr) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId())
            windows.push_back(window);
    }
    return windows;
}

void end_shell_class()
{
    const ShellState& shell = shell_state();
    for (HWND window : windows_of_this_process(shell.class_name, nullptr))
        DestroyWindow(window);
    for (MSG left; PeekMessageW(&left, nullptr, 0, 0, PM_REMOVE);) {
    }
    EXPECT_TRUE(UnregisterClassW(shell.class_name, shell.instance) || GetLastError() == ERROR_CLASS_DOES_NOT_EXIST);
}

std::vector<HWND> dialogs_of_this_process(const wchar_t* caption)
{
    std::vector<HWND> dialogs;
    for (HWND dialog : windows_of_this_process(L"#32770", caption))
        if (IsWindowVisible(dialog))
            dialogs.push_back(dialog);
    return dialogs;
}

DialogAnswerer::DialogAnswerer(const wchar_t* caption, Act act)
    : caption_(caption), act_(std::move(act)), thread_([this] { run(); })
{
}

DialogAnswerer::~DialogAnswerer()
{
    stop_ = true;
    thread_.join();
}

void DialogAnswerer::run()
{
    while (!stop_) {
        std::vector<HWND> dialogs = dialogs_of_this_process(caption_.c_str());
        if (dialogs.empty()) {
            Sleep(20);
            continue;
        }
        HWND dialog = dialogs.front();
        ++answered_; // counted before the act, which may end the dialog and the test's wait
        act_(dialog);
        // The same dialog is answered once: wait until it is gone (or the test ends).
        while (!stop_ && IsWindow(dialog) && IsWindowVisible(dialog))
            Sleep(20);
    }
}

void click(HWND dialog, int button_id)
{
    SendMessageW(GetDlgItem(dialog, button_id), BM_CLICK, 0, 0);
    // A real click arrives as posted input, which also wakes the dialog's modal loop so
    // that it sees the dialog has ended; a sent BM_CLICK does not, so nudge it.
    PostMessageW(dialog, WM_NULL, 0, 0);
}

std::wstring control_text(HWND dialog, int control_id)
{
    wchar_t text[1024] = L"";
    GetDlgItemTextW(dialog, control_id, text, 1024);
    return text;
}
