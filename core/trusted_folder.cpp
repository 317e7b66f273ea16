// The rule for a folder LocalSystem may trust, and the looks that feed it: by name, by a
// handle that does not follow, and by what that handle shows of the volume, the owner, the
// access list and the two files the system keeps there.
#include "trusted_folder.h"

#include "setting_file.h"

#include <aclapi.h>
#include <winternl.h>

#include <stdio.h>

namespace {

// Rights that let a holder change the folder or what it holds: write or add, delete,
// change attributes, rights or owner (GENERIC_* as an inheritable entry carries them).
constexpr ACCESS_MASK CHANGING_RIGHTS = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                        FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE |
                                        WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// To look at a folder and open its files relative to it; no DELETE.
constexpr ACCESS_MASK LOOKING = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES |
                                READ_CONTROL;

bool is_trusted_account(PSID sid, PSID self)
{
    return EqualSid(sid, self) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
           IsWellKnownSid(sid, WinLocalSystemSid);
}

bool open_to_others(PACL dacl, PSID self)
{
    if (dacl == nullptr)
        return true;
    for (WORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)))
            return true;
        if (header->AceType == ACCESS_DENIED_ACE_TYPE)
            continue;
        // An entry of another kind (callback, object) may grant anything.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
            return true;
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        if ((ace->Mask & CHANGING_RIGHTS) != 0 && !is_trusted_account(&ace->SidStart, self))
            return true;
    }
    return false;
}

bool is_link(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The token's record of its user, with room for the account's SID, aligned as the record
// must be: Windows checks the buffer's alignment for the structure it writes.
union TokenAccount {
    TOKEN_USER user;
    BYTE room[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};

// The account this process runs as, kept in `account`; null, with the Windows error, when
// it cannot be read.
PSID own_account(TokenAccount* account, DWORD* error)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        *error = GetLastError();
        return nullptr;
    }
    DWORD needed = 0;
    BOOL got = GetTokenInformation(token, TokenUser, account, sizeof *account, &needed);
    *error = got ? ERROR_SUCCESS : GetLastError();
    CloseHandle(token);
    return got ? account->user.User.Sid : nullptr;
}

// The system's files in the folder: the setting file and the launcher's configuration.
constexpr const wchar_t* SYSTEM_FILES[] = {SETTING_FILE_NAME_W, LAUNCHER_CONFIG_NAME_W};

// Whether each of the system's files is absent or a plain file, in `plain`; false, with the
// Windows error, when one of them cannot be looked at.
bool look_at_files(HANDLE folder, bool* plain, DWORD* error)
{
    *plain = true;
    for (const wchar_t* name : SYSTEM_FILES) {
        BY_HANDLE_FILE_INFORMATION info{};
        HANDLE file = open_plain_file(folder, name, FILE_READ_ATTRIBUTES, FILE_SHARE_ALL, FILE_OPEN, &info, error);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        else if (*error == ERROR_CANT_ACCESS_FILE)
            *plain = false;
        else if (*error != ERROR_FILE_NOT_FOUND)
            return false;
    }
    *error = ERROR_SUCCESS;
    return true;
}

// What the open folder handle holds, seen by name as `by_name`, in `look`, its owner and
// access list kept in `descriptor` for the caller to free. False, with the Windows error,
// when any of it cannot be seen: that is no verdict on the folder.
bool look_at_held(HANDLE folder, DWORD by_name, FolderLook* look, PSECURITY_DESCRIPTOR* descriptor,
                  DWORD* error)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(folder, &info) ||
        !GetVolumeInformationByHandleW(folder, nullptr, 0, nullptr, nullptr, &look->volume_flags, nullptr, 0)) {
        *error = GetLastError();
        return false;
    }
    look->by_name = by_name;
    look->by_handle = info.dwFileAttributes;
    *error = GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                             &look->owner, nullptr, &look->dacl, nullptr, descriptor);
    if (*error != ERROR_SUCCESS)
        return false;
    look->files_plain = false;
    bool real_folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !is_link(info.dwFileAttributes);
    return !real_folder || look_at_files(folder, &look->files_plain, error);
}

// Judges what the open folder handle holds, seen by name as `by_name`.
Trust judge_held(HANDLE folder, DWORD by_name, DWORD* error)
{
    FolderLook look{};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    TokenAccount account;
    Trust trust = Trust::unseen;
    if (look_at_held(folder, by_name, &look, &descriptor, error)) {
        PSID self = own_account(&account, error);
        if (self != nullptr)
            trust = judge_folder(look, self);
    }
    LocalFree(descriptor);
    return trust;
}

} // namespace

Trust judge_folder(const FolderLook& look, PSID self)
{
    if (look.by_name == INVALID_FILE_ATTRIBUTES)
        return Trust::missing;
    if (is_link(look.by_name) != is_link(look.by_handle))
        return Trust::link_followed;
    // First the volume: where it keeps no access lists, nothing made there could hold.
    if ((look.volume_flags & FILE_PERSISTENT_ACLS) == 0)
        return Trust::no_access_lists;
    if (is_link(look.by_handle))
        return Trust::link;
    if ((look.by_handle & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return Trust::not_a_folder;
    if (look.owner == nullptr || !is_trusted_account(look.owner, self))
        return Trust::foreign_owner;
    if (open_to_others(look.dacl, self))
        return Trust::open_to_others;
    if (!look.files_plain)
        return Trust::odd_file;
    return Trust::trusted;
}

bool is_plain_file(const BY_HANDLE_FILE_INFORMATION& info)
{
    constexpr DWORD NOT_PLAIN = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    return (info.dwFileAttributes & NOT_PLAIN) == 0 && info.nNumberOfLinks == 1;
}

DWORD open_error(NTSTATUS status)
{
    // The open itself went through, but a holder's oplock is being broken: reading,
    // writing, renaming or deleting would now wait for him, without a limit.
    constexpr NTSTATUS OPLOCK_BREAK_IN_PROGRESS = 0x00000108; // a success status
    if (status == OPLOCK_BREAK_IN_PROGRESS)
        return ERROR_SHARING_VIOLATION;
    return status < 0 ? RtlNtStatusToDosError(status) : ERROR_SUCCESS;
}

HANDLE open_unfollowed(HANDLE folder, const wchar_t* name, ACCESS_MASK access, ULONG share,
                       ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR security,
                       DWORD* error)
{
    // An absolute name goes to the object manager as an NT path; one too long for it is
    // refused, never cut to another name.
    wchar_t nt_path[MAX_PATH + 8];
    if (folder == nullptr) {
        if (_snwprintf_s(nt_path, _TRUNCATE, L"\\??\\%ls", name) < 0) {
            *error = ERROR_FILENAME_EXCED_RANGE;
            return INVALID_HANDLE_VALUE;
        }
        name = nt_path;
    }
    UNICODE_STRING text;
    RtlInitUnicodeString(&text, name);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, security);
    IO_STATUS_BLOCK io{};
    HANDLE handle = nullptr;
    NTSTATUS status = NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr,
                                   FILE_ATTRIBUTE_NORMAL, share, disposition,
                                   options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT |
                                       FILE_COMPLETE_IF_OPLOCKED | FILE_OPEN_FOR_BACKUP_INTENT,
                                   nullptr, 0);
    *error = open_error(status);
    if (*error != ERROR_SUCCESS) {
        if (status >= 0)
            CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

bool identify(HANDLE handle, ObjectId* id, DWORD* error)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        *error = GetLastError();
        return false;
    }
    *id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

HANDLE open_and_look(HANDLE folder, const wchar_t* name, ACCESS_MASK access, ULONG share,
                     ULONG disposition, BY_HANDLE_FILE_INFORMATION* info, DWORD* error)
{
    HANDLE file = open_unfollowed(folder, name, access, share, disposition, 0, nullptr, error);
    if (file != INVALID_HANDLE_VALUE && !GetFileInformationByHandle(file, info)) {
        *error = GetLastError();
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

HANDLE open_plain_file(HANDLE folder, const wchar_t* name, ACCESS_MASK access, ULONG share,
                       ULONG disposition, BY_HANDLE_FILE_INFORMATION* info, DWORD* error)
{
    HANDLE file = open_and_look(folder, name, access, share, disposition, info, error);
    if (file != INVALID_HANDLE_VALUE && !is_plain_file(*info)) {
        CloseHandle(file);
        *error = ERROR_CANT_ACCESS_FILE;
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

HANDLE open_folder(const wchar_t* path, FolderFound* found)
{
    *found = {Trust::unseen, ERROR_SUCCESS, {}};
    DWORD by_name = GetFileAttributesW(path);
    if (by_name == INVALID_FILE_ATTRIBUTES) {
        found->error = GetLastError();
        bool absent = found->error == ERROR_FILE_NOT_FOUND || found->error == ERROR_PATH_NOT_FOUND;
        found->trust = absent ? Trust::missing : Trust::unseen;
        return INVALID_HANDLE_VALUE;
    }
    HANDLE folder = open_unfollowed(nullptr, path, LOOKING, FILE_SHARE_ALL, FILE_OPEN, 0, nullptr, &found->error);
    if (folder == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;
    if (identify(folder, &found->id, &found->error))
        found->trust = judge_held(folder, by_name, &found->error);
    if (found->trust != Trust::trusted && found->trust != Trust::odd_file) {
        CloseHandle(folder);
        return INVALID_HANDLE_VALUE;
    }
    return folder;
}

HANDLE open_trusted_folder(const wchar_t* path)
{
    FolderFound found;
    return open_folder(path, &found);
}
