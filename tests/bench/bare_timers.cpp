// bare_timers: the least a program can do to run the notifier's two timers, a 1000 ms and
// a 5000 ms one, on a hidden window. The yardstick of the notifier's idle cost in
// scripts/bench-notifier.sh.
#include <windows.h>

namespace {

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_TIMER)
        return 0;
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.lpszClassName = L"BareTimers";
    RegisterClassW(&window_class);
    HWND window = CreateWindowExW(0, L"BareTimers", L"BareTimers", WS_OVERLAPPEDWINDOW, 0, 0,
                                  100, 50, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 1;
    SetTimer(window, 1, 1000, nullptr);
    SetTimer(window, 2, 5000, nullptr);

    MSG message = {};
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return static_cast<int>(message.wParam);
}
