// What the package's SYSTEM step does by handle under c:\NuvexKV: every name opened as
// itself (a link, never its target), relative to the folder held, and each function
// closes what it opens. Each returns the Windows error, ERROR_SUCCESS when done.
#pragma once

#include "folder_rights.h"

#include <windows.h>

// Deletes what the handle holds (a link itself) once the last handle on it is closed.
DWORD delete_held(HANDLE handle);

// Renames what `handle` holds to `name`, relative to the folder `root` holds, or to the
// full path `name` when `root` is null; never over anything.
DWORD rename_held(HANDLE handle, HANDLE root, const wchar_t* name);

// Renames it to BASE.WHAT-YYYYMMDD-HHMMSS-RANDOM (relative to `root`, as above), a name
// nobody could have taken first, which comes back in `name[MAX_PATH]`.
DWORD rename_aside(HANDLE handle, HANDLE root, const wchar_t* base, const wchar_t* what, wchar_t* name);

// Makes `name` in the held folder with its rights, holding `line`; never over anything.
DWORD make_file(HANDLE folder, const wchar_t* name, Guarded what, const char* line);

// Deletes our name of the file in the held folder, its marks taken off first; its other
// names, if any, stay where their owner put them.
DWORD delete_file(HANDLE folder, const wchar_t* name);
