#include "folder_decision.h"

#include <stdio.h>
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
    case Trust::foreign_owner:
    case Trust::open_to_others:
    case Trust::odd_file:
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

bool carries_over(const BY_HANDLE_FILE_INFORMATION& info)
{
    ULONGLONG size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return is_plain_file(info) && size <= LARGEST_CARRIED_FILE;
}
