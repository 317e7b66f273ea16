#include "folder_decision.h"

#include "setting_file.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

FolderDecision decide_folder(Trust trust)
{
    switch (trust) {
    case Trust::missing:
        return {FolderStep::create, nullptr};
    case Trust::trusted:
        return {FolderStep::keep, nullptr};
    case Trust::link:
        return {FolderStep::move_aside, L"link"};
    case Trust::not_a_folder:
        return {FolderStep::move_aside, L"file"};
    case Trust::odd_file:
        return {FolderStep::mend, nullptr};
    case Trust::foreign_owner:
    case Trust::open_to_others:
        return {FolderStep::move_aside, L"folder"};
    default:
        // Unseen (a failure to look decides nothing), a link its handle follows, or no
        // access lists: nothing can be done there that would hold.
        return {FolderStep::refuse, nullptr};
    }
}

void aside_name(const wchar_t* folder, const wchar_t* what, const SYSTEMTIME& when,
                ULONGLONG random, wchar_t* name, size_t size)
{
    _snwprintf_s(name, size, _TRUNCATE, L"%ls.%ls-%04u%02u%02u-%02u%02u%02u-%016llx", folder, what,
                 when.wYear, when.wMonth, when.wDay, when.wHour, when.wMinute, when.wSecond, random);
}

bool is_launcher_delay(const wchar_t* word)
{
    static const wchar_t* const DELAYS[] = {L"30mins", L"1hr", L"2hr", L"4hr"};
    for (const wchar_t* delay : DELAYS)
        if (wcscmp(word, delay) == 0)
            return true;
    return false;
}

bool written_by_the_system(const char* line, bool config)
{
    constexpr char PREFIX[] = "Setting=";
    constexpr size_t PREFIX_LENGTH = sizeof PREFIX - 1;
    if (strncmp(line, PREFIX, PREFIX_LENGTH) != 0)
        return false;
    const char* token = line + PREFIX_LENGTH;
    DWORD duration = 0;
    if (*token == '\0')
        return !config;
    return token_to_duration(token, &duration) && (!config || duration != FIVE_MINUTES);
}

bool carries_over(const BY_HANDLE_FILE_INFORMATION& info)
{
    ULONGLONG size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return is_plain_file(info) && size <= LARGEST_CARRIED_FILE;
}
