// read_prompt: waits for the restart prompt of a running program in the same Wine session
// and prints its message text, as UTF-8 and byte for byte, on stdout; or, given a button,
// where the middle of that button is on the screen ("x y"), for a mouse to click it.
//
//   read_prompt [seconds [yes|no|cancel]]          (default 20 seconds, the text)
//
// Exit code 0 when the text was printed, 1 when no prompt showed up in time, 2 for a bad
// argument. The box is only read, never answered: answering is left to the mouse.
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

namespace {

constexpr wchar_t PROMPT_CLASS[] = L"#32770";
constexpr wchar_t PROMPT_CAPTION[] = L"Nuvex Kelvaro (Free Version)";
// The message text control of a message box, on Windows and in Wine alike.
constexpr int MESSAGE_TEXT_ID = 0xFFFF;
constexpr int TEXT_SIZE = 2048;

// The text once the box is visible and its message is filled in; empty otherwise.
bool read_text(wchar_t (&text)[TEXT_SIZE])
{
    HWND box = FindWindowW(PROMPT_CLASS, PROMPT_CAPTION);
    if (box == nullptr || !IsWindowVisible(box))
        return false;
    HWND message = GetDlgItem(box, MESSAGE_TEXT_ID);
    if (message == nullptr)
        return false;
    return GetWindowTextW(message, text, TEXT_SIZE) > 0;
}

int button_id(const wchar_t* name)
{
    if (wcscmp(name, L"yes") == 0)
        return IDYES;
    if (wcscmp(name, L"no") == 0)
        return IDNO;
    return wcscmp(name, L"cancel") == 0 ? IDCANCEL : 0;
}

// The middle of the button, in screen coordinates: those of the X display under Wine.
bool write_button_middle(int id)
{
    RECT button;
    HWND control = GetDlgItem(FindWindowW(PROMPT_CLASS, PROMPT_CAPTION), id);
    if (control == nullptr || !GetWindowRect(control, &button))
        return false;
    return printf("%ld %ld\n", (button.left + button.right) / 2, (button.top + button.bottom) / 2) > 0;
}

bool write_utf8(const wchar_t* text)
{
    char bytes[TEXT_SIZE * 3];
    int count = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof(bytes), nullptr, nullptr);
    if (count <= 0)
        return false;
    DWORD written = 0;
    // count includes the terminator, which is not printed.
    return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, count - 1, &written, nullptr) &&
           written == static_cast<DWORD>(count - 1);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    long seconds = 20;
    int button = 0;
    if (argc > 3)
        return 2;
    if (argc == 3 && (button = button_id(argv[2])) == 0)
        return 2;
    if (argc >= 2) {
        wchar_t* end = nullptr;
        seconds = wcstol(argv[1], &end, 10);
        if (end == argv[1] || *end != L'\0' || seconds <= 0)
            return 2;
    }

    wchar_t text[TEXT_SIZE] = L"";
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    while (!read_text(text)) {
        if (GetTickCount64() >= deadline)
            return 1;
        Sleep(10);
    }
    if (button != 0)
        return write_button_middle(button) ? 0 : 1;
    return write_utf8(text) ? 0 : 1;
}
