#include "folder_decision.h"

#include "setting_file.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

namespace {

using S = FolderStep;

constexpr struct {
    Trust found;
    FolderDecision decision;
} DECISIONS[] = {
    {Trust::missing, {S::create, nullptr, false, L"%ls is not there: it is made.", false}},
    {Trust::trusted, {S::keep, nullptr, false, L"%ls is a folder this package may trust: kept as it is.", false}},
    {Trust::odd_file, {S::mend, nullptr, false, L"%ls is a folder this package may trust, with a file that is not "
                                                L"a plain file: that file is mended.", false}},
    {Trust::link, {S::move_aside, L"link", false, L"%ls is a link: it is set aside, as itself.", false}},
    {Trust::not_a_folder, {S::move_aside, L"file", false, L"%ls is not a folder: it is set aside.", false}},
    {Trust::foreign_owner, {S::move_aside, L"folder", true, L"%ls is owned by another user: it is set aside.",
                            false}},
    {Trust::open_to_others, {S::move_aside, L"folder", true, L"%ls is a folder other users may change: it is set "
                                                             L"aside.", false}},
    {Trust::unseen, {S::refuse, nullptr, false, L"%ls could not be looked at, nothing was changed", true}},
    {Trust::no_access_lists, {S::refuse, nullptr, false, L"%ls is on a volume that keeps no access lists (FAT, "
                                                         L"exFAT), so no rights can hold there. Nothing was "
                                                         L"changed.", false}},
};

// A link its handle follows, or a name that changed while it was looked at: nothing done
// there would hold.
constexpr FolderDecision REFUSED = {S::refuse, nullptr, false,
                                    L"%ls is left as it is: a link this system opens as its target, or it "
                                    L"changed while it was looked at. An administrator must remove it.", false};

} // namespace

FolderDecision decide_folder(Trust trust)
{
    for (const auto& row : DECISIONS)
        if (row.found == trust)
            return row.decision;
    return REFUSED;
}

void aside_name(const wchar_t* folder, const wchar_t* what, const SYSTEMTIME& when,
                ULONGLONG random, wchar_t* name, size_t size)
{
    _snwprintf_s(name, size, _TRUNCATE, L"%ls.%ls-%04u%02u%02u-%02u%02u%02u-%016llx", folder, what,
                 when.wYear, when.wMonth, when.wDay, when.wHour, when.wMinute, when.wSecond, random);
}

bool is_launcher_delay(const wchar_t* word)
{
    // The tokens are ASCII and short: a word of anything else is none of them.
    char token[8] = "";
    for (size_t i = 0; word[i] != L'\0'; ++i) {
        if (i + 1 == sizeof token || word[i] > 0x7e)
            return false;
        token[i] = static_cast<char>(word[i]);
    }
    DWORD duration = 0;
    return launcher_delay(token, &duration);
}

bool written_by_the_system(const char* line, bool config)
{
    constexpr char PREFIX[] = "Setting=";
    constexpr size_t PREFIX_LENGTH = sizeof PREFIX - 1;
    if (strncmp(line, PREFIX, PREFIX_LENGTH) != 0)
        return false;
    const char* token = line + PREFIX_LENGTH;
    DWORD duration = 0;
    if (config)
        return launcher_delay(token, &duration);
    return *token == '\0' || token_to_duration(token, &duration);
}

bool carries_over(const BY_HANDLE_FILE_INFORMATION& info)
{
    ULONGLONG size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return is_plain_file(info) && size <= LARGEST_CARRIED_FILE;
}
