// bare_prompt: the least a program can do to show the launcher's restart prompt, with the
// same caption, text (the one-hour offer) and buttons. The yardstick of the launcher's
// start-to-prompt time in scripts/bench-launcher.sh.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    MessageBoxW(nullptr,
                L"Do you want to restart and Auto-Shutdown after\n\n"
                L"[Yes] 5 mins time \n\n"
                L"[No] 1 hour time \n\n"
                L"Or\n\n"
                L"[Cancel] to abort?",
                L"Nuvex Kelvaro (Free Version)", MB_YESNOCANCEL);
    return 0;
}
