// Every name under c:\NuvexKV is opened as itself, never through a link, and acted on
// through that handle or relative to the handle held on the folder: a folder the rule does
// not trust is set aside whole, and nothing is ever put into it.
#include "setting_folder.h"

#include "folder_decision.h"
#include "held_names.h"
#include "setting_file.h"
#include "setup_log.h"
#include "trusted_folder.h"
#include "trusted_setting.h"

#include <stdio.h>
#include <string.h>

namespace {

const wchar_t* const FOLDER = SETTING_FOLDER_PATH_W;

// How often the folder is looked at anew when its name is taken before it can be made.
constexpr int MAKE_ATTEMPTS = 3;

// To hold the folder being made while its files are made in it.
constexpr ACCESS_MASK MAKING = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_ADD_FILE |
                               FILE_READ_ATTRIBUTES | READ_CONTROL;

// To rename or delete the folder, its name reopened.
constexpr ACCESS_MASK CHANGING = DELETE | FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

// The last lines a new folder is made with.
struct Carried {
    char setting[LINE_BUFFER_SIZE];
    char config[LINE_BUFFER_SIZE];
    bool config_found;
    bool looked; // from the first folder set aside only
};

bool exists_already(DWORD error)
{
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

// The folder's name opened again with DELETE, which the look did not take, once it holds
// the object that was looked at; INVALID_HANDLE_VALUE, said in the log, otherwise.
HANDLE reopen_found(MSIHANDLE install, const FolderFound& found)
{
    DWORD error = ERROR_SUCCESS;
    HANDLE held = open_unfollowed(nullptr, FOLDER, CHANGING, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN, 0,
                                  nullptr, &error);
    if (held == INVALID_HANDLE_VALUE) {
        log_failure(install, error, L"%ls could not be held to be changed", FOLDER);
        return held;
    }
    ObjectId id{};
    if (!identify(held, &id, &error) || !(id == found.id)) {
        CloseHandle(held);
        log_step(install, L"%ls changed while it was looked at: left as it is.", FOLDER);
        return INVALID_HANDLE_VALUE;
    }
    return held;
}

// A launcher delay given at install becomes the configuration, in place of any other.
void configure_delay(Carried& carried, const wchar_t* launcher_delay)
{
    if (*launcher_delay == L'\0')
        return;
    _snprintf_s(carried.config, _TRUNCATE, "Setting=%ls", launcher_delay);
    carried.config_found = true;
}

// The last line of a file in the held folder, read as the programs read it, when it is a
// plain file with one name of a sensible size and the line is one the system itself could
// have written there (`config`: the launcher's configuration).
bool carry_line(MSIHANDLE install, HANDLE folder, const wchar_t* name, bool config, char* line)
{
    DWORD error = ERROR_SUCCESS;
    BY_HANDLE_FILE_INFORMATION info{};
    HANDLE file = open_plain_file(folder, name, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, &info, &error);
    if (file == INVALID_HANDLE_VALUE && error != ERROR_CANT_ACCESS_FILE) {
        if (error != ERROR_FILE_NOT_FOUND)
            log_failure(install, error, L"%ls\\%ls not read", FOLDER, name);
        return false;
    }
    if (file == INVALID_HANDLE_VALUE || !carries_over(info)) {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        log_step(install, L"%ls\\%ls not read: not a plain file with one name of at most %u bytes.", FOLDER, name,
                 static_cast<unsigned>(LARGEST_CARRIED_FILE));
        return false;
    }
    bool read = read_setting_handle(file, line);
    CloseHandle(file);
    if (!read)
        return false;
    if (!written_by_the_system(line, config)) {
        line[0] = '\0';
        log_step(install, L"%ls\\%ls: its last line is none this system writes there: not carried over.", FOLDER,
                 name);
        return false;
    }
    log_step(install, L"%ls\\%ls: its last line (%u bytes) carries over.", FOLDER, name,
             static_cast<unsigned>(strlen(line)));
    return true;
}

// Renames what was found (a link itself, on Windows) to a name nobody could have taken
// first, once its name holds it still; from a folder whose lines carry, those lines first.
bool set_aside(MSIHANDLE install, const FolderFound& found, FolderDecision decision, Carried& carried)
{
    HANDLE held = reopen_found(install, found);
    if (held == INVALID_HANDLE_VALUE)
        return false;
    if (decision.carry && !carried.looked) {
        carried.looked = true;
        carry_line(install, held, SETTING_FILE_NAME_W, false, carried.setting);
        carried.config_found = carry_line(install, held, LAUNCHER_CONFIG_NAME_W, true, carried.config);
    }
    wchar_t name[MAX_PATH];
    DWORD error = rename_aside(held, nullptr, FOLDER, decision.what, name);
    CloseHandle(held);
    if (error != ERROR_SUCCESS) {
        log_failure(install, error, L"%ls could not be set aside", FOLDER);
        return false;
    }
    log_step(install, L"%ls, a %ls, set aside as %ls.", FOLDER, decision.what, name);
    return true;
}

// make_file, said in the log; one already there counts as made when `keep_existing`.
bool make_logged(MSIHANDLE install, HANDLE folder, const wchar_t* name, Guarded what, const char* line,
                 bool keep_existing)
{
    DWORD error = make_file(folder, name, what, line);
    if (keep_existing && exists_already(error)) {
        log_step(install, L"%ls\\%ls is there: left as it is.", FOLDER, name);
        return true;
    }
    if (error != ERROR_SUCCESS) {
        log_failure(install, error, L"%ls\\%ls could not be made", FOLDER, name);
        return false;
    }
    log_step(install, L"%ls\\%ls made, %u bytes.", FOLDER, name, static_cast<unsigned>(strlen(line)));
    return true;
}

// The launcher's configuration, where one is given or carried.
bool make_config(MSIHANDLE install, HANDLE folder, const Carried& carried)
{
    return !carried.config_found ||
           make_logged(install, folder, LAUNCHER_CONFIG_NAME_W, Guarded::launcher_config, carried.config, false);
}

bool volume_keeps_access_lists(MSIHANDLE install)
{
    const wchar_t root[] = {FOLDER[0], L':', L'\\', L'\0'};
    DWORD flags = 0;
    if (!GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
        log_failure(install, GetLastError(), L"%ls is not made: its volume could not be looked at", FOLDER);
        return false;
    }
    if ((flags & FILE_PERSISTENT_ACLS) != 0)
        return true;
    log_step(install, L"%ls is not made: %ls keeps no access lists (FAT, exFAT), so its rights could not hold.",
             FOLDER, root);
    return false;
}

enum class Made { yes, failed, name_taken };

// Makes the folder with its rights, then its files. Right after a folder was set aside, the
// name may have been taken in between: name_taken, and nothing made.
Made make_folder(MSIHANDLE install, const Carried& carried)
{
    PSECURITY_DESCRIPTOR security = make_security(Guarded::folder);
    DWORD error = GetLastError();
    HANDLE folder = INVALID_HANDLE_VALUE;
    if (security != nullptr)
        folder = open_unfollowed(nullptr, FOLDER, MAKING, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                                 FILE_DIRECTORY_FILE, security, &error);
    LocalFree(security);
    if (folder == INVALID_HANDLE_VALUE && exists_already(error)) {
        log_step(install, L"%ls was taken again before it could be made: looked at anew.", FOLDER);
        return Made::name_taken;
    }
    if (folder == INVALID_HANDLE_VALUE) {
        log_failure(install, error, L"%ls could not be made", FOLDER);
        return Made::failed;
    }
    log_step(install, L"%ls made with the package's rights.", FOLDER);
    bool made = make_logged(install, folder, SETTING_FILE_NAME_W, Guarded::setting_file, carried.setting, false) &&
                make_config(install, folder, carried);
    CloseHandle(folder);
    return made ? Made::yes : Made::failed;
}

// One of the system's files in a folder to trust that is not a plain file, mended through
// the held folder: a folder in its place is renamed aside there; anything else loses our
// name of it, by a handle that follows no link (a link goes itself, and a file's other
// names stay where their owner put them). The step then makes it afresh with its rights.
bool mend_file(MSIHANDLE install, HANDLE folder, const wchar_t* name)
{
    DWORD error = ERROR_SUCCESS;
    BY_HANDLE_FILE_INFORMATION info{};
    HANDLE file = open_and_look(folder, name, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_ALL, FILE_OPEN, &info,
                                &error);
    if (file == INVALID_HANDLE_VALUE && error != ERROR_FILE_NOT_FOUND)
        log_failure(install, error, L"%ls\\%ls could not be looked at", FOLDER, name);
    if (file == INVALID_HANDLE_VALUE)
        return error == ERROR_FILE_NOT_FOUND;
    if (is_plain_file(info)) {
        CloseHandle(file);
        return true;
    }
    bool folder_in_place = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    wchar_t aside[MAX_PATH];
    error = folder_in_place ? rename_aside(file, folder, name, L"folder", aside) : delete_held(file);
    CloseHandle(file);
    if (error != ERROR_SUCCESS)
        log_failure(install, error, L"%ls\\%ls, not a plain file, could not be mended", FOLDER, name);
    else if (folder_in_place)
        log_step(install, L"%ls\\%ls, a folder, set aside in it as %ls.", FOLDER, name, aside);
    else
        log_step(install, L"%ls\\%ls, a link or a file with other names, lost that name.", FOLDER, name);
    return error == ERROR_SUCCESS;
}

// A kept folder: a missing setting file made; a launcher delay given replaces the
// configuration (nobody but an administrator adds a name here, so the old one goes first).
bool keep_folder(MSIHANDLE install, HANDLE folder, const wchar_t* launcher_delay)
{
    if (!make_logged(install, folder, SETTING_FILE_NAME_W, Guarded::setting_file, "", true))
        return false;
    Carried given{};
    configure_delay(given, launcher_delay);
    if (!given.config_found)
        return true;
    DWORD error = delete_file(folder, LAUNCHER_CONFIG_NAME_W);
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) {
        log_failure(install, error, L"%ls\\%ls could not be replaced", FOLDER, LAUNCHER_CONFIG_NAME_W);
        return false;
    }
    return make_config(install, folder, given);
}

// One look at the name and what follows from it: the folder is kept, or what stands there
// is set aside (or nothing is) and the folder made.
Made take_step(MSIHANDLE install, const wchar_t* launcher_delay, Carried& carried)
{
    FolderFound found{};
    HANDLE folder = open_folder(FOLDER, &found); // held only where it is kept
    FolderDecision decision = decide_folder(found.trust);
    if (decision.with_error)
        log_failure(install, found.error, decision.says, FOLDER);
    else
        log_step(install, decision.says, FOLDER);
    switch (decision.step) {
    case FolderStep::keep:
    case FolderStep::mend: {
        bool mended = decision.step == FolderStep::keep || (mend_file(install, folder, SETTING_FILE_NAME_W) &&
                                                            mend_file(install, folder, LAUNCHER_CONFIG_NAME_W));
        bool kept = mended && keep_folder(install, folder, launcher_delay);
        CloseHandle(folder);
        return kept ? Made::yes : Made::failed;
    }
    case FolderStep::move_aside:
        if (!set_aside(install, found, decision, carried))
            return Made::failed;
        break;
    case FolderStep::create:
        // Whatever was seen had its volume judged; with nothing there, it is looked at here.
        if (!volume_keeps_access_lists(install))
            return Made::failed;
        break;
    case FolderStep::refuse:
        return Made::failed;
    }
    configure_delay(carried, launcher_delay);
    return make_folder(install, carried);
}

// The folder held for the package's removal when the rule trusts it; else nothing in it is
// touched, said in the log.
HANDLE hold_for_removal(MSIHANDLE install, FolderFound& found)
{
    HANDLE folder = open_folder(FOLDER, &found);
    if (folder != INVALID_HANDLE_VALUE || found.trust == Trust::missing)
        return folder;
    if (found.trust == Trust::unseen)
        log_failure(install, found.error, L"%ls could not be looked at, nothing in it is touched", FOLDER);
    else
        log_step(install, L"%ls is not a folder this package may trust: nothing in it is touched.", FOLDER);
    return INVALID_HANDLE_VALUE;
}

// Deletes the folder through a handle of its own, once that holds the folder held; a folder
// with anything left in it stays.
void remove_folder_if_empty(MSIHANDLE install, const FolderFound& found)
{
    HANDLE held = reopen_found(install, found);
    if (held == INVALID_HANDLE_VALUE)
        return;
    DWORD error = delete_held(held);
    CloseHandle(held);
    if (error == ERROR_SUCCESS)
        log_step(install, L"%ls removed.", FOLDER);
    else
        log_step(install, L"%ls stays, with what else it holds.", FOLDER);
}

} // namespace

bool secure_setting_folder(MSIHANDLE install, const wchar_t* launcher_delay)
{
    // Whatever is set aside, the new folder is made right after; should somebody take the
    // name in between, what he put there is looked at and set aside in its turn.
    Carried carried{};
    for (int attempt = 0; attempt < MAKE_ATTEMPTS; ++attempt) {
        Made made = take_step(install, launcher_delay, carried);
        if (made != Made::name_taken)
            return made == Made::yes;
    }
    log_step(install, L"%ls was taken again each time it was set aside: nothing more is done.", FOLDER);
    return false;
}

void clear_setting_folder(MSIHANDLE install)
{
    FolderFound found{};
    HANDLE folder = hold_for_removal(install, found);
    if (folder == INVALID_HANDLE_VALUE)
        return;
    if (clear_setting_in(folder) == WRITE_OK)
        log_step(install, L"%ls\\%ls holds nothing pending.", FOLDER, SETTING_FILE_NAME_W);
    else
        log_step(install, L"%ls\\%ls could not be cleared.", FOLDER, SETTING_FILE_NAME_W);
    CloseHandle(folder);
}

void release_setting_folder(MSIHANDLE install)
{
    FolderFound found{};
    HANDLE folder = hold_for_removal(install, found);
    if (folder == INVALID_HANDLE_VALUE)
        return;
    DWORD error = delete_file(folder, SETTING_FILE_NAME_W);
    CloseHandle(folder);
    if (error == ERROR_SUCCESS)
        log_step(install, L"%ls\\%ls deleted: nothing is pending.", FOLDER, SETTING_FILE_NAME_W);
    else if (error != ERROR_FILE_NOT_FOUND)
        log_failure(install, error, L"%ls\\%ls could not be deleted", FOLDER, SETTING_FILE_NAME_W);
    remove_folder_if_empty(install, found);
}
