// send_command: posts a message to the notifier's hidden main window from outside it, in
// the same Wine session, as a menu or the window manager would.
//
//   send_command close           posts WM_CLOSE
//   send_command command ID      posts WM_COMMAND with ID as its wParam (105 is Exit)
//
// Exit code 0 when the message was posted, 1 when there is no such window or the post
// failed, 2 for bad arguments.
#include <windows.h>

#include <wchar.h>

int wmain(int argc, wchar_t** argv)
{
    UINT message = 0;
    WPARAM wparam = 0;
    if (argc == 2 && wcscmp(argv[1], L"close") == 0) {
        message = WM_CLOSE;
    } else if (argc == 3 && wcscmp(argv[1], L"command") == 0) {
        wchar_t* end = nullptr;
        unsigned long id = wcstoul(argv[2], &end, 10);
        if (end == argv[2] || *end != L'\0' || id > 0xFFFF)
            return 2;
        message = WM_COMMAND;
        wparam = id;
    } else {
        return 2;
    }

    HWND window = FindWindowW(L"NuvexKV", L"NuvexKV");
    if (window == nullptr)
        return 1;
    return PostMessageW(window, message, wparam, 0) ? 0 : 1;
}
