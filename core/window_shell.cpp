// The desktop window shell. Neither program ever shows its main window; the menu, the
// accelerators and the About box still act whenever the window receives their commands.
#include "window_shell.h"

#include "resource_ids.h"

namespace {

ShellState state = {};

void show_about_box(HWND owner)
{
    DialogBoxParamW(state.instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, about_box_proc, 0);
}

LRESULT on_command(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    // Only the low word counts: the menu sends high word 0, an accelerator 1.
    switch (LOWORD(wparam)) {
    case IDM_SHOW_ABOUT:
        show_about_box(window);
        return 0;
    case IDM_EXIT_APP:
        DestroyWindow(window);
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

// Nothing is drawn; the class brush paints the background.
LRESULT on_paint(HWND window)
{
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
    return 0;
}

} // namespace

void register_main_window_class(HINSTANCE instance, WNDPROC window_proc, int class_icon)
{
    LoadStringW(instance, IDS_WINDOW_TITLE, state.window_title, SHELL_TEXT_SIZE);
    LoadStringW(instance, IDS_WINDOW_CLASS, state.class_name, SHELL_TEXT_SIZE);

    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(class_icon));
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszMenuName = MAKEINTRESOURCEW(IDR_MAIN_MENU);
    window_class.lpszClassName = state.class_name;
    window_class.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_SMALL));
    // A failed registration shows up as a window that cannot be created.
    RegisterClassExW(&window_class);

    state.instance = instance;
}

const ShellState& shell_state()
{
    return state;
}

LRESULT CALLBACK shell_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_COMMAND:
        return on_command(window, message, wparam, lparam);
    case WM_PAINT:
        return on_paint(window);
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

INT_PTR CALLBACK about_box_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE; // focus to the first tab stop, the OK button
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wparam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

int run_message_loop(HINSTANCE instance)
{
    // Without the table every message is simply translated and dispatched.
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_MAIN_ACCEL));
    MSG message = {};
    // GetMessageW gives 0 for WM_QUIT; -1 (which only a bad argument causes) ends the
    // loop too rather than spinning on it.
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}
