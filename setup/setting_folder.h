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

// Within an upgrade, as the old version goes: the setting file in a trusted folder cleared,
// so that nothing stays pending; the folder stays. Never fails.
void clear_setting_folder(MSIHANDLE install);

// On the package's removal: the setting file in a trusted folder deleted, and the folder
// with it when nothing else is left there. Never fails.
void release_setting_folder(MSIHANDLE install);
