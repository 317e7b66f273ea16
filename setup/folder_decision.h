// What the package does with whatever stands at C:\NuvexKV, and which of the files in a
// folder it sets aside it carries over: decisions only, made from what was seen.
#pragma once

#include <windows.h>

// What a name shows: to GetFileAttributesW by name, or through a handle opened on it
// without following a link (which Wine follows all the same).
enum class Entry { missing, directory, file, link };

struct FolderSeen {
    Entry by_name;
    Entry by_handle;
    bool own;   // owned by Administrators or SYSTEM, with exactly the package's rights
};

enum class FolderStep {
    create,       // nothing there: make the folder
    keep,         // the package's own folder: leave it as it is
    move_aside,   // rename it (the link itself, never its target), then make the folder
    refuse,       // nothing can be done without following a link: fail the install
};

struct FolderDecision {
    FolderStep step;
    const wchar_t* what;   // for move_aside: what it is, in the name it is set aside under
};

FolderDecision decide_folder(const FolderSeen& seen);

// C:\NuvexKV.WHAT-YYYYMMDD-HHMMSS, with -N from the second try on.
void aside_name(const wchar_t* folder, const wchar_t* what, const SYSTEMTIME& when, int attempt,
                wchar_t* name, size_t size);

struct FileSeen {
    Entry by_name;
    Entry by_handle;
    DWORD links;
    ULONGLONG size;
};

// The largest file whose last line is carried over; the system's files hold one short line.
constexpr ULONGLONG LARGEST_CARRIED_FILE = 64 * 1024;

// Only a plain file with a single name, of a sensible size, is read.
bool carries_over(const FileSeen& seen);

// One of the launcher's longer delays, exactly as its configuration names them.
bool is_launcher_delay(const wchar_t* word);
