// The setting file as every program reaches it: only in a folder the rule trusts, and only
// through handles opened relative to the one held on that folder, as the file itself and
// never through a link.
#pragma once

#include <windows.h>

// write_setting's results, and this one: the folder is not one to trust, nothing written.
constexpr int FOLDER_NOT_TRUSTED = 3;

// read_setting_line of the setting file, in a trusted folder only. False when the folder
// is not one to trust or the file cannot be opened: nothing is pending.
bool read_trusted_setting(char* line);

// Replaces the setting file with "Setting=" and the token, without a line terminator, in a
// trusted folder only: WRITE_OK, or WRITE_FAILED when the folder is not one to trust or the
// file cannot be opened (missing, it is made). The hidden, system and read-only marks, which
// would refuse the rewrite, are taken off first. The desktop programs' writer.
int write_setting(const char* token);

// Rewrites the setting file to the bare "Setting=" in a trusted folder only: WRITE_OK,
// WRITE_FAILED when the file cannot be written, FOLDER_NOT_TRUSTED.
int clear_trusted_setting();

// The same in the folder held by `folder`, which the caller has found trusted. A missing
// file is left missing, which means the same: WRITE_OK.
int clear_setting_in(HANDLE folder);

// Takes the marks that refuse a rewrite or a deletion (hidden, system, read-only) off the
// named file in the held folder, where it is a plain file.
void take_off_marks(HANDLE folder, const wchar_t* name);
