// C:\NuvexKV as the package leaves it: the package's own folder, with the setting file in
// it, made by handle and never through a link.
#pragma once

#include <windows.h>
#include <msiquery.h>

// Keeps the package's own folder as it is (making a missing setting file), or sets aside
// whatever else stands there and makes the folder afresh, carrying over the last lines of
// the setting file and the launcher's configuration. A launcher delay given ("2hr", say;
// empty when none is) becomes the launcher's configuration in either. False, said in the
// log, when that cannot be done without following a link.
bool secure_setting_folder(MSIHANDLE install, const wchar_t* launcher_delay);
