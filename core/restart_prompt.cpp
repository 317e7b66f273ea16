// The restart prompt. The caller's No-duration is read twice, when the text is composed
// and again when No is carried out: the tray notifier may change it while the box is open.
#include "restart_prompt.h"

#include "power_actions.h"
#include "setting_file.h"
#include "trusted_setting.h"

#include <wchar.h>

namespace {

const wchar_t* no_line(DWORD no_duration)
{
    switch (no_duration) {
    case THIRTY_MINUTES: return L"\n\n[No] 30 mins time ";
    case ONE_HOUR: return L"\n\n[No] 1 hour time ";
    case TWO_HOURS: return L"\n\n[No] 2 hours time ";
    case FOUR_HOURS: return L"\n\n[No] 4 hours time ";
    default: return L"";
    }
}

// Rewrites the setting file and, when it was written, asks for the restart.
int write_and_restart(const char* token)
{
    int status = write_setting(token);
    if (status == WRITE_OK)
        restart_machine();
    return status;
}

} // namespace

void compose_restart_prompt(DWORD no_duration, wchar_t (&text)[PROMPT_TEXT_SIZE])
{
    text[0] = L'\0';
    wcscat_s(text, L"Do you want to restart and Auto-Shutdown after\n\n");
    wcscat_s(text, L"[Yes] 5 mins time ");
    wcscat_s(text, no_line(no_duration));
    wcscat_s(text, L"\n\nOr\n\n[Cancel] to abort?");
}

RestartChoice run_restart_prompt(HWND owner, const DWORD* no_duration, int* write_status)
{
    wchar_t text[PROMPT_TEXT_SIZE];
    compose_restart_prompt(*no_duration, text);

    RestartChoice choice;
    int status;
    switch (MessageBoxW(owner, text, PROMPT_CAPTION, MB_YESNOCANCEL)) {
    case IDYES:
        choice = RestartChoice::Yes;
        status = write_and_restart("5mins");
        break;
    case IDNO:
        choice = RestartChoice::No;
        status = write_and_restart(duration_to_token(*no_duration));
        break;
    default:
        // Cancel, the box closed, or a box that could not be shown: nothing changes.
        return RestartChoice::Cancel;
    }
    if (write_status != nullptr)
        *write_status = status;
    return choice;
}
