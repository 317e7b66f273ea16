#include "folder_decision.h"

#include <stdio.h>
#include <wchar.h>

FolderDecision decide_folder(const FolderSeen& seen)
{
    if (seen.by_name == Entry::missing)
        return {FolderStep::create, nullptr};
    // A link by name that a handle opens as its target, or anything that changed between
    // the two looks: renaming it would rename the target.
    if ((seen.by_name == Entry::link) != (seen.by_handle == Entry::link) ||
        seen.by_handle == Entry::missing)
        return {FolderStep::refuse, nullptr};
    switch (seen.by_handle) {
    case Entry::link:
        return {FolderStep::move_aside, L"link"};
    case Entry::file:
        return {FolderStep::move_aside, L"file"};
    default:
        return seen.own ? FolderDecision{FolderStep::keep, nullptr}
                        : FolderDecision{FolderStep::move_aside, L"folder"};
    }
}

void aside_name(const wchar_t* folder, const wchar_t* what, const SYSTEMTIME& when, int attempt,
                wchar_t* name, size_t size)
{
    int used = _snwprintf_s(name, size, _TRUNCATE, L"%ls.%ls-%04u%02u%02u-%02u%02u%02u", folder,
                            what, when.wYear, when.wMonth, when.wDay, when.wHour, when.wMinute,
                            when.wSecond);
    if (attempt > 0 && used > 0)
        _snwprintf_s(name + used, size - static_cast<size_t>(used), _TRUNCATE, L"-%d", attempt);
}

bool is_launcher_delay(const wchar_t* word)
{
    static const wchar_t* const DELAYS[] = {L"30mins", L"1hr", L"2hr", L"4hr"};
    for (const wchar_t* delay : DELAYS)
        if (wcscmp(word, delay) == 0)
            return true;
    return false;
}

bool carries_over(const FileSeen& seen)
{
    return seen.by_name == Entry::file && seen.by_handle == Entry::file && seen.links == 1 &&
           seen.size <= LARGEST_CARRIED_FILE;
}
