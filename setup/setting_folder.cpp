// Every name under c:\NuvexKV is opened as itself, never through a link, and acted on
// through that handle or relative to the handle held on the folder: a folder the rule does
// not trust is set aside whole, and nothing is ever put into it.
#include "setting_folder.h"

#include "folder_decision.h"
#include "folder_rights.h"
#include "setting_file.h"
#include "setup_log.h"
#include "trusted_folder.h"
#include "trusted_setting.h"

#include <bcrypt.h>
#include <winternl.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

namespace {

const wchar_t* const FOLDER = SETTING_FOLDER_PATH;

// To hold the folder being made while its files are made in it.
constexpr ACCESS_MASK MAKING = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_ADD_FILE |
                               FILE_READ_ATTRIBUTES | READ_CONTROL;

// The last lines a new folder is made with.
struct Carried {
    char setting[LINE_BUFFER_SIZE];
    char config[LINE_BUFFER_SIZE];
    bool config_found;
};

// A launcher delay given at install becomes the configuration, in place of any other.
void configure_delay(Carried& carried, const wchar_t* launcher_delay)
{
    if (*launcher_delay == L'\0')
        return;
    _snprintf_s(carried.config, _TRUNCATE, "Setting=%ls", launcher_delay);
    carried.config_found = true;
}

bool same_object(HANDLE one, HANDLE other)
{
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    if (!GetFileInformationByHandle(one, &a) || !GetFileInformationByHandle(other, &b))
        return false;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// The last line of a file in the held folder, read as the programs read it, when it is a
// plain file with one name of a sensible size.
bool carry_line(MSIHANDLE install, HANDLE folder, const wchar_t* name, char* line)
{
    DWORD error = ERROR_SUCCESS;
    HANDLE file = open_unfollowed(folder, name, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, 0, nullptr, &error);
    if (file == INVALID_HANDLE_VALUE) {
        if (error != ERROR_FILE_NOT_FOUND)
            log_failure(install, error, L"%ls\\%ls not read", FOLDER, name);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info) || !carries_over(info)) {
        CloseHandle(file);
        log_step(install, L"%ls\\%ls not read: not a plain file with one name of at most %u bytes.",
                 FOLDER, name, static_cast<unsigned>(LARGEST_CARRIED_FILE));
        return false;
    }
    bool read = read_setting_handle(file, line);
    CloseHandle(file);
    if (!read)
        return false;
    log_step(install, L"%ls\\%ls: its last line (%u bytes) carries over.", FOLDER, name,
             static_cast<unsigned>(strlen(line)));
    return true;
}

bool random_number(ULONGLONG* number)
{
    BCRYPT_ALG_HANDLE generator = nullptr;
    if (BCryptOpenAlgorithmProvider(&generator, BCRYPT_RNG_ALGORITHM, nullptr, 0) < 0)
        return false;
    NTSTATUS status = BCryptGenRandom(generator, reinterpret_cast<PUCHAR>(number), sizeof *number, 0);
    BCryptCloseAlgorithmProvider(generator, 0);
    return status >= 0;
}

DWORD rename_by_handle(HANDLE handle, const wchar_t* name)
{
    union {
        FILE_RENAME_INFO info;
        BYTE room[sizeof(FILE_RENAME_INFO) + MAX_PATH * sizeof(wchar_t)];
    } rename{};
    size_t length = wcslen(name);
    rename.info.ReplaceIfExists = FALSE;
    rename.info.FileNameLength = static_cast<DWORD>(length * sizeof(wchar_t));
    wmemcpy(rename.info.FileName, name, length);
    if (!SetFileInformationByHandle(handle, FileRenameInfo, &rename, sizeof rename))
        return GetLastError();
    return ERROR_SUCCESS;
}

// Renames what `held` holds (a link itself, on Windows) to a name nobody could have taken
// first, once it is known to be what was looked at; from a folder, the two lines first.
bool move_aside(MSIHANDLE install, HANDLE looked, HANDLE held, FolderDecision decision, Carried& carried)
{
    if (!same_object(looked, held)) {
        log_step(install, L"%ls changed while it was looked at: left as it is.", FOLDER);
        return false;
    }
    if (wcscmp(decision.what, L"folder") == 0) {
        carry_line(install, held, SETTING_FILE_NAME, carried.setting);
        carried.config_found = carry_line(install, held, LAUNCHER_CONFIG_NAME, carried.config);
    }
    ULONGLONG random = 0;
    if (!random_number(&random)) {
        log_step(install, L"%ls could not be set aside: no random name could be made.", FOLDER);
        return false;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t name[MAX_PATH];
    aside_name(FOLDER, decision.what, now, random, name, MAX_PATH);
    DWORD error = rename_by_handle(held, name);
    if (error != ERROR_SUCCESS) {
        log_failure(install, error, L"%ls could not be set aside", FOLDER);
        return false;
    }
    log_step(install, L"%ls, a %ls, set aside as %ls.", FOLDER, decision.what, name);
    return true;
}

// Reopens the name with DELETE, which the look did not take, to set it aside.
bool set_aside(MSIHANDLE install, HANDLE looked, FolderDecision decision, Carried& carried)
{
    DWORD error = ERROR_SUCCESS;
    HANDLE held = open_unfollowed(nullptr, FOLDER, DELETE | FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN, 0, nullptr, &error);
    if (held == INVALID_HANDLE_VALUE) {
        log_failure(install, error, L"%ls could not be held to be set aside", FOLDER);
        return false;
    }
    bool moved = move_aside(install, looked, held, decision, carried);
    CloseHandle(held);
    return moved;
}

// Makes `name` in the held folder with its rights, holding `line`; the Windows error.
DWORD make_file(HANDLE folder, const wchar_t* name, Guarded what, const char* line)
{
    PSECURITY_DESCRIPTOR security = make_security(what);
    if (security == nullptr)
        return GetLastError();
    DWORD error = ERROR_SUCCESS;
    HANDLE file = open_unfollowed(folder, name, GENERIC_WRITE, 0, FILE_CREATE, FILE_NON_DIRECTORY_FILE,
                                  security, &error);
    LocalFree(security);
    if (file == INVALID_HANDLE_VALUE)
        return error;
    DWORD length = static_cast<DWORD>(strlen(line));
    DWORD written = 0;
    if (!WriteFile(file, line, length, &written, nullptr))
        error = GetLastError();
    CloseHandle(file);
    return error;
}

bool exists_already(DWORD error)
{
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
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

DWORD delete_file(HANDLE folder, const wchar_t* name)
{
    take_off_marks(folder, name);
    DWORD error = ERROR_SUCCESS;
    HANDLE file = open_unfollowed(folder, name, DELETE, FILE_SHARE_ALL, FILE_OPEN, FILE_NON_DIRECTORY_FILE,
                                  nullptr, &error);
    if (file == INVALID_HANDLE_VALUE)
        return error;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (!SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition))
        error = GetLastError();
    CloseHandle(file);
    return error;
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

bool make_files(MSIHANDLE install, HANDLE folder, const Carried& carried)
{
    if (!make_logged(install, folder, SETTING_FILE_NAME, Guarded::setting_file, carried.setting, false))
        return false;
    if (!carried.config_found)
        return true;
    return make_logged(install, folder, LAUNCHER_CONFIG_NAME, Guarded::launcher_config, carried.config, false);
}

bool make_folder(MSIHANDLE install, const Carried& carried)
{
    if (!volume_keeps_access_lists(install))
        return false;
    PSECURITY_DESCRIPTOR security = make_security(Guarded::folder);
    DWORD error = GetLastError();
    HANDLE folder = INVALID_HANDLE_VALUE;
    if (security != nullptr)
        folder = open_unfollowed(nullptr, FOLDER, MAKING, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                                 FILE_DIRECTORY_FILE, security, &error);
    LocalFree(security);
    if (folder == INVALID_HANDLE_VALUE) {
        log_failure(install, error, L"%ls could not be made", FOLDER);
        return false;
    }
    log_step(install, L"%ls made with the package's rights.", FOLDER);
    bool made = make_files(install, folder, carried);
    CloseHandle(folder);
    return made;
}

bool keep_folder(MSIHANDLE install, HANDLE folder, const wchar_t* launcher_delay)
{
    log_step(install, L"%ls is a folder this package may trust: kept as it is.", FOLDER);
    if (!make_logged(install, folder, SETTING_FILE_NAME, Guarded::setting_file, "", true))
        return false;
    Carried given{};
    configure_delay(given, launcher_delay);
    if (!given.config_found)
        return true;
    // Nobody but an administrator adds a name here: the old file goes, the new one takes
    // its place.
    DWORD error = delete_file(folder, LAUNCHER_CONFIG_NAME);
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) {
        log_failure(install, error, L"%ls\\%ls could not be replaced", FOLDER, LAUNCHER_CONFIG_NAME);
        return false;
    }
    return make_logged(install, folder, LAUNCHER_CONFIG_NAME, Guarded::launcher_config, given.config, false);
}

void log_refusal(MSIHANDLE install, Trust trust, DWORD error)
{
    switch (trust) {
    case Trust::unseen:
        log_failure(install, error, L"%ls could not be looked at, nothing was changed", FOLDER);
        return;
    case Trust::no_access_lists:
        log_step(install, L"%ls is on a volume that keeps no access lists (FAT, exFAT), so no rights can "
                          L"hold there. Nothing was changed.", FOLDER);
        return;
    default:
        log_step(install, L"%ls is left as it is: a link this system opens as its target, or it changed "
                          L"while it was looked at. An administrator must remove it.", FOLDER);
    }
}

// Deletes the folder held by `looked` through a handle of its own, once that holds the same
// folder; a folder with anything left in it stays.
void remove_folder_if_empty(MSIHANDLE install, HANDLE looked)
{
    DWORD error = ERROR_SUCCESS;
    HANDLE held = open_unfollowed(nullptr, FOLDER, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_ALL, FILE_OPEN,
                                  FILE_DIRECTORY_FILE, nullptr, &error);
    if (held == INVALID_HANDLE_VALUE) {
        log_failure(install, error, L"%ls stays", FOLDER);
        return;
    }
    if (!same_object(looked, held)) {
        CloseHandle(held);
        log_step(install, L"%ls changed while it was looked at: left as it is.", FOLDER);
        return;
    }
    FILE_DISPOSITION_INFO disposition = {TRUE};
    BOOL removed = SetFileInformationByHandle(held, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(held);
    if (removed)
        log_step(install, L"%ls removed.", FOLDER);
    else
        log_step(install, L"%ls stays, with what else it holds.", FOLDER);
}

} // namespace

bool secure_setting_folder(MSIHANDLE install, const wchar_t* launcher_delay)
{
    Trust trust = Trust::missing;
    DWORD error = ERROR_SUCCESS;
    HANDLE folder = open_folder(FOLDER, &trust, &error);
    FolderDecision decision = decide_folder(trust);
    Carried carried{};
    bool done = false;
    switch (decision.step) {
    case FolderStep::keep:
        done = keep_folder(install, folder, launcher_delay);
        break;
    case FolderStep::move_aside:
        if (!set_aside(install, folder, decision, carried))
            break;
        configure_delay(carried, launcher_delay);
        done = make_folder(install, carried);
        break;
    case FolderStep::create:
        configure_delay(carried, launcher_delay);
        done = make_folder(install, carried);
        break;
    case FolderStep::refuse:
        log_refusal(install, trust, error);
        break;
    }
    if (folder != INVALID_HANDLE_VALUE)
        CloseHandle(folder);
    return done;
}

void release_setting_folder(MSIHANDLE install, bool upgrading)
{
    Trust trust = Trust::missing;
    DWORD error = ERROR_SUCCESS;
    HANDLE folder = open_folder(FOLDER, &trust, &error);
    if (trust != Trust::trusted) {
        if (folder != INVALID_HANDLE_VALUE)
            CloseHandle(folder);
        if (trust == Trust::unseen)
            log_failure(install, error, L"%ls could not be looked at, nothing in it is touched", FOLDER);
        else if (trust != Trust::missing)
            log_step(install, L"%ls is not a folder this package may trust: nothing in it is touched.", FOLDER);
        return;
    }
    if (upgrading) {
        if (clear_setting_in(folder) == WRITE_OK)
            log_step(install, L"%ls\\%ls holds nothing pending.", FOLDER, SETTING_FILE_NAME);
        else
            log_step(install, L"%ls\\%ls could not be cleared.", FOLDER, SETTING_FILE_NAME);
        CloseHandle(folder);
        return;
    }
    error = delete_file(folder, SETTING_FILE_NAME);
    if (error == ERROR_SUCCESS)
        log_step(install, L"%ls\\%ls deleted: nothing is pending.", FOLDER, SETTING_FILE_NAME);
    else if (error != ERROR_FILE_NOT_FOUND)
        log_failure(install, error, L"%ls\\%ls could not be deleted", FOLDER, SETTING_FILE_NAME);
    remove_folder_if_empty(install, folder);
    CloseHandle(folder);
}
