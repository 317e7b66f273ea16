// The backup and restore privileges of the package's SYSTEM step. Enabled, they let an open
// made for backup pass any access list: a folder whose list shuts SYSTEM out can still be
// looked at and set aside.
#pragma once

#include <windows.h>

// Enables both in this process's token, or with `on` false disables them again. False when
// the token cannot be changed or lacks one of them.
bool set_backup_privileges(bool on);
