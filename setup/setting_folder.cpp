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

// How often the folder is looked at anew when its name is taken before it can be made.
constexpr int MAKE_ATTEMPTS = 3;

// To hold the folder being made while its files are made in it.
constexpr ACCESS_MASK MAKING = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_ADD_FILE |
                               FILE_READ_ATTRIBUTES | READ_CONTROL;

// The last lines a new folder is made with.
struct Carried {
    char setting[LINE_BUFFER_SIZE];
    char config[LINE_BUFFER_SIZE];
    bool config_found;
    bool looked; // from the first folder set aside only
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
// plain file with one name of a sensible size and the line is one the system itself could
// have written there (`config`: the launcher's configuration).
bool carry_line(MSIHANDLE install, HANDLE folder, const wchar_t* name, bool config, char* line)
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
    if (!written_by_the_system(line, config)) {
        line[0] = '\0';
        log_step(install, L"%ls\\%ls: its last line is none this system writes there: not carried over.",
                 FOLDER, name);
        return false;
    }
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

// A name to set `base` aside under, in `name[MAX_PATH]`, that nobody could have taken first.
bool make_aside_name(MSIHANDLE install, const wchar_t* base, const wchar_t* what, wchar_t* name)
{
    ULONGLONG random = 0;
    if (!random_number(&random)) {
        log_step(install, L"%ls could not be set aside: no random name could be made.", base);
        return false;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    aside_name(base, what, now, random, name, MAX_PATH);
    return true;
}

// Renames what `handle` holds to `name`, relative to the folder `root` holds, or to the
// full path `name` when `root` is null; never over anything. Through ntdll, which takes a
// name relative to a folder's handle as it stands (kernel32's form makes it a path).
DWORD rename_by_handle(HANDLE handle, HANDLE root, const wchar_t* name)
{
    union {
        FILE_RENAME_INFO info; // laid out as ntdll's FILE_RENAME_INFORMATION
        BYTE room[sizeof(FILE_RENAME_INFO) + (MAX_PATH + 4) * sizeof(wchar_t)];
    } rename{};
    const wchar_t* prefix = root == nullptr ? L"\\??\\" : L"";
    size_t length = wcslen(prefix) + wcslen(name);
    if (length > MAX_PATH + 3)
        return ERROR_FILENAME_EXCED_RANGE;
    rename.info.ReplaceIfExists = FALSE;
    rename.info.RootDirectory = root;
    rename.info.FileNameLength = static_cast<DWORD>(length * sizeof(wchar_t));
    wcscpy_s(rename.info.FileName, MAX_PATH + 5, prefix);
    wcscat_s(rename.info.FileName, MAX_PATH + 5, name);
    IO_STATUS_BLOCK io{};
    NTSTATUS status = NtSetInformationFile(handle, &io, &rename, sizeof rename, FileRenameInformation);
    return status < 0 ? RtlNtStatusToDosError(status) : ERROR_SUCCESS;
}

// Renames what `held` holds (a link itself, on Windows) to a name nobody could have taken
// first, once it is known to be what was looked at; from a folder, the two lines first.
bool move_aside(MSIHANDLE install, HANDLE looked, HANDLE held, FolderDecision decision, Carried& carried)
{
    if (!same_object(looked, held)) {
        log_step(install, L"%ls changed while it was looked at: left as it is.", FOLDER);
        return false;
    }
    if (wcscmp(decision.what, L"folder") == 0 && !carried.looked) {
        carried.looked = true;
        carry_line(install, held, SETTING_FILE_NAME, false, carried.setting);
        carried.config_found = carry_line(install, held, LAUNCHER_CONFIG_NAME, true, carried.config);
    }
    wchar_t name[MAX_PATH];
    if (!make_aside_name(install, FOLDER, decision.what, name))
        return false;
    DWORD error = rename_by_handle(held, nullptr, name);
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
    bool made = make_files(install, folder, carried);
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
    HANDLE file = open_unfollowed(folder, name, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_ALL, FILE_OPEN, 0,
                                  nullptr, &error);
    if (file == INVALID_HANDLE_VALUE && error == ERROR_FILE_NOT_FOUND)
        return true;
    BY_HANDLE_FILE_INFORMATION info{};
    if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &info)) {
        if (file != INVALID_HANDLE_VALUE) {
            error = GetLastError();
            CloseHandle(file);
        }
        log_failure(install, error, L"%ls\\%ls could not be looked at", FOLDER, name);
        return false;
    }
    if (is_plain_file(info)) {
        CloseHandle(file);
        return true;
    }
    bool folder_in_place = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    wchar_t aside[MAX_PATH];
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (folder_in_place)
        error = make_aside_name(install, name, L"folder", aside) ? rename_by_handle(file, folder, aside)
                                                                 : ERROR_GEN_FAILURE;
    else if (!SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition))
        error = GetLastError();
    CloseHandle(file);
    if (error != ERROR_SUCCESS) {
        log_failure(install, error, L"%ls\\%ls, not a plain file, could not be mended", FOLDER, name);
        return false;
    }
    if (folder_in_place)
        log_step(install, L"%ls\\%ls, a folder, set aside in it as %ls.", FOLDER, name, aside);
    else
        log_step(install, L"%ls\\%ls, a link or a file with other names, lost that name.", FOLDER, name);
    return true;
}

bool mend_files(MSIHANDLE install, HANDLE folder)
{
    return mend_file(install, folder, SETTING_FILE_NAME) && mend_file(install, folder, LAUNCHER_CONFIG_NAME);
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
    // Whatever is set aside, the new folder is made right after; should somebody take the
    // name in between, what he put there is looked at and set aside in its turn.
    Carried carried{};
    for (int attempt = 0; attempt < MAKE_ATTEMPTS; ++attempt) {
        Trust trust = Trust::missing;
        DWORD error = ERROR_SUCCESS;
        HANDLE folder = open_folder(FOLDER, &trust, &error);
        FolderDecision decision = decide_folder(trust);
        Made made = Made::failed;
        switch (decision.step) {
        case FolderStep::keep:
            made = keep_folder(install, folder, launcher_delay) ? Made::yes : Made::failed;
            break;
        case FolderStep::mend:
            log_step(install, L"%ls is a folder this package may trust, with a file that is not a plain "
                              L"file: that file is mended.", FOLDER);
            made = mend_files(install, folder) && keep_folder(install, folder, launcher_delay) ? Made::yes
                                                                                             : Made::failed;
            break;
        case FolderStep::move_aside:
        case FolderStep::create:
            if (volume_keeps_access_lists(install) &&
                (decision.step == FolderStep::create || set_aside(install, folder, decision, carried))) {
                configure_delay(carried, launcher_delay);
                made = make_folder(install, carried);
            }
            break;
        case FolderStep::refuse:
            log_refusal(install, trust, error);
            break;
        }
        if (folder != INVALID_HANDLE_VALUE)
            CloseHandle(folder);
        if (made != Made::name_taken)
            return made == Made::yes;
    }
    log_step(install, L"%ls was taken again each time it was set aside: nothing more is done.", FOLDER);
    return false;
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
