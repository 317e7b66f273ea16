// The deferred power-off. Whoever rewrites the setting file during the sleep decides the
// outcome: that second look is what lets the tray notifier cancel a pending power-off.
#include "deferred_power_off.h"

#include "power_actions.h"
#include "setting_file.h"
#include "trusted_setting.h"

SleepFunction deferred_sleep = Sleep;

namespace {

// Reads the setting file into a fresh buffer and maps its token; false when the file
// cannot be opened, the line is too short or the token is unknown. The service runs as
// LocalSystem: in a folder it may not trust, nothing is pending.
bool read_pending_duration(DWORD* duration)
{
    char line[LINE_BUFFER_SIZE] = "";
    if (!read_trusted_setting(line))
        return false;
    const char* token = setting_token(line);
    return token != nullptr && token_to_duration(token, duration);
}

} // namespace

bool run_deferred_power_off()
{
    DWORD waited = 0;
    if (!read_pending_duration(&waited))
        return false;

    // One blocking wait; a stop request is looked at only after it.
    deferred_sleep(waited);

    DWORD second = 0;
    if (!read_pending_duration(&second) || second != waited)
        return true;

    // Clear first, so that the start after the power-off finds nothing pending. The power
    // is cut even when the file cannot be cleared, but not when the folder has meanwhile
    // become one the service may not trust: nothing is pending there.
    if (clear_trusted_setting() == FOLDER_NOT_TRUSTED)
        return true;
    power_off_machine();
    return true;
}
