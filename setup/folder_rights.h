// The rights on C:\NuvexKV and the files the package makes in it, given when each is
// created and never pushed down onto what is already there.
#pragma once

#include <windows.h>

enum class Guarded { folder, setting_file, launcher_config };

// The security of one guarded object as SDDL, the one place the rights are written.
const wchar_t* guarded_sddl(Guarded what);

// A self-relative security descriptor for the object being created; free it with
// LocalFree. Null on failure (GetLastError says why).
PSECURITY_DESCRIPTOR make_security(Guarded what);
