// Renames and deletions through ntdll's and kernel32's by-handle calls, which never resolve
// a name again once it is held.
#include "held_names.h"

#include "folder_decision.h"
#include "trusted_folder.h"
#include "trusted_setting.h"

#include <bcrypt.h>
#include <winternl.h>

#include <string.h>
#include <wchar.h>

DWORD delete_held(HANDLE handle)
{
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)
               ? ERROR_SUCCESS
               : GetLastError();
}

// Through ntdll, which takes a name relative to a folder's handle as it stands
// (kernel32's form makes it a path).
DWORD rename_held(HANDLE handle, HANDLE root, const wchar_t* name)
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

namespace {

// From the system's generator, opened by name: BCRYPT_USE_SYSTEM_PREFERRED_RNG, which needs
// no provider, is not known to Windows Vista.
NTSTATUS random_number(ULONGLONG* number)
{
    BCRYPT_ALG_HANDLE generator = nullptr;
    NTSTATUS status = BCryptOpenAlgorithmProvider(&generator, BCRYPT_RNG_ALGORITHM, nullptr, 0);
    if (status < 0)
        return status;
    status = BCryptGenRandom(generator, reinterpret_cast<PUCHAR>(number), sizeof *number, 0);
    BCryptCloseAlgorithmProvider(generator, 0);
    return status;
}

} // namespace

DWORD rename_aside(HANDLE handle, HANDLE root, const wchar_t* base, const wchar_t* what, wchar_t* name)
{
    ULONGLONG random = 0;
    NTSTATUS status = random_number(&random);
    if (status < 0)
        return RtlNtStatusToDosError(status);
    SYSTEMTIME now;
    GetLocalTime(&now);
    aside_name(base, what, now, random, name, MAX_PATH);
    return rename_held(handle, root, name);
}

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
    DWORD written = 0;
    if (!WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr))
        error = GetLastError();
    CloseHandle(file);
    return error;
}

DWORD delete_file(HANDLE folder, const wchar_t* name)
{
    take_off_marks(folder, name);
    DWORD error = ERROR_SUCCESS;
    HANDLE file = open_unfollowed(folder, name, DELETE, FILE_SHARE_ALL, FILE_OPEN, FILE_NON_DIRECTORY_FILE,
                                  nullptr, &error);
    if (file == INVALID_HANDLE_VALUE)
        return error;
    error = delete_held(file);
    CloseHandle(file);
    return error;
}
