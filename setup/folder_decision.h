// What the package does with whatever stands at c:\NuvexKV, and which files of a folder it
// sets aside it carries over: decisions only, made from what was seen.
#pragma once

#include "trusted_folder.h"

#include <windows.h>

enum class FolderStep {
    create,     // nothing there: make the folder
    keep,       // a folder the rule trusts: leave it as it is
    mend,       // a folder the rule trusts with an odd file: keep it, mend that file
    move_aside, // rename it (a link itself, never its target), then make the folder
    refuse,     // it cannot be held, or held without following a link: fail the installation
};

struct FolderDecision {
    FolderStep step;
    const wchar_t* what; // for move_aside: what it is, in the name it is set aside under
    bool carry;          // for move_aside: the last lines of its two files carry over
    const wchar_t* says; // the log's line on it, the folder's path its one argument
    bool with_error;     // that line ends in the Windows error the look met
};

// The row for what was found.
FolderDecision decide_folder(Trust trust);

// C:\NuvexKV.WHAT-YYYYMMDD-HHMMSS-RANDOM: the random part, 16 hexadecimal digits, makes a
// name nobody can take before the package does.
void aside_name(const wchar_t* folder, const wchar_t* what, const SYSTEMTIME& when,
                ULONGLONG random, wchar_t* name, size_t size);

// The largest file whose last line is carried over; the system's files hold one short line.
constexpr ULONGLONG LARGEST_CARRIED_FILE = 64 * 1024;

// Only a plain file with a single name, of a sensible size, is read.
bool carries_over(const BY_HANDLE_FILE_INFORMATION& info);

// A last line the system itself could have written: in the setting file "Setting=" alone or
// with one of the five tokens; in the launcher's configuration (`config`) "Setting=" with one
// of the launcher's four delays.
bool written_by_the_system(const char* line, bool config);

// One of the launcher's longer delays, exactly as its configuration names them.
bool is_launcher_delay(const wchar_t* word);
