// c:\NuvexKV as the package leaves it, whatever the outcome: absent, or a folder the rule
// trusts. It is looked at by name and held by a handle that does not follow a link, and
// everything in it is done relative to that handle.
#pragma once

#include <windows.h>
#include <msiquery.h>

// Keeps a trusted folder as it is (making a missing setting file), or sets aside whatever
// else stands there and makes the folder afresh with its rights, carrying over the last
// lines of the setting file and the launcher's configuration. A launcher delay given
// ("2hr", say; empty when none is) becomes the launcher's configuration in either. False,
// said in the log, when none of this can be done safely.
bool secure_setting_folder(MSIHANDLE install, const wchar_t* launcher_delay);

// On the package's removal, in a trusted folder only: within an upgrade the setting file
// is cleared (nothing stays pending, the folder stays); otherwise it is deleted, and the
// folder with it when nothing else is left there. Never fails the removal.
void release_setting_folder(MSIHANDLE install, bool upgrading);
