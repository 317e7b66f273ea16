// The setting file, read and rewritten by handle in a trusted folder, with the sharing the
// runtime's fopen gives: readers admit readers, a writer admits nobody.
#include "trusted_setting.h"

#include "setting_file.h"
#include "trusted_folder.h"

#include <winternl.h>

namespace {

// The setting file in the held folder, opened as itself; INVALID_HANDLE_VALUE unless it is
// a plain file (`error` is then ERROR_FILE_NOT_FOUND when there is none).
HANDLE open_setting(HANDLE folder, ACCESS_MASK access, ULONG share, ULONG disposition, DWORD* error)
{
    BY_HANDLE_FILE_INFORMATION info{};
    return open_plain_file(folder, SETTING_FILE_NAME_W, access, share, disposition, &info, error);
}

// Rewrites the setting file in the held folder to "Setting=" and the token: opened as
// itself, admitting nobody, and emptied only once it is known to be a plain file. Made
// when missing only if `make` says so; otherwise a missing file stays missing, which
// means the same as the bare "Setting=": WRITE_OK.
int rewrite_setting_in(HANDLE folder, const char* token, bool make)
{
    take_off_marks(folder, SETTING_FILE_NAME_W);
    DWORD error = ERROR_SUCCESS;
    HANDLE file = open_setting(folder, GENERIC_WRITE, 0, make ? FILE_OPEN_IF : FILE_OPEN, &error);
    if (file == INVALID_HANDLE_VALUE)
        return !make && error == ERROR_FILE_NOT_FOUND ? WRITE_OK : WRITE_FAILED;
    FILE_END_OF_FILE_INFO empty{};
    int status = WRITE_FAILED;
    if (SetFileInformationByHandle(file, FileEndOfFileInfo, &empty, sizeof empty))
        status = write_setting_handle(file, token);
    CloseHandle(file);
    return status;
}

} // namespace

bool read_trusted_setting(char* line)
{
    HANDLE folder = open_trusted_folder(SETTING_FOLDER_PATH_W);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    DWORD error = ERROR_SUCCESS;
    HANDLE file = open_setting(folder, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, &error);
    CloseHandle(folder);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool read = read_setting_handle(file, line);
    CloseHandle(file);
    return read;
}

int write_setting(const char* token)
{
    HANDLE folder = open_trusted_folder(SETTING_FOLDER_PATH_W);
    if (folder == INVALID_HANDLE_VALUE)
        return WRITE_FAILED;
    int status = rewrite_setting_in(folder, token, true);
    CloseHandle(folder);
    return status;
}

int clear_trusted_setting()
{
    HANDLE folder = open_trusted_folder(SETTING_FOLDER_PATH_W);
    if (folder == INVALID_HANDLE_VALUE)
        return FOLDER_NOT_TRUSTED;
    int status = clear_setting_in(folder);
    CloseHandle(folder);
    return status;
}

int clear_setting_in(HANDLE folder)
{
    // Never made here: a file this open made would take the folder's inherited rights,
    // which let users only read it. Only the package makes the file, with its own rights.
    return rewrite_setting_in(folder, "", false);
}

void take_off_marks(HANDLE folder, const wchar_t* name)
{
    DWORD error = ERROR_SUCCESS;
    BY_HANDLE_FILE_INFORMATION info{};
    HANDLE file = open_plain_file(folder, name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, FILE_SHARE_ALL,
                                  FILE_OPEN, &info, &error);
    if (file == INVALID_HANDLE_VALUE)
        return;
    FILE_BASIC_INFO basic{}; // times left at 0: unchanged
    if ((info.dwFileAttributes & REWRITE_REFUSING_MARKS) != 0) {
        basic.FileAttributes = info.dwFileAttributes & ~REWRITE_REFUSING_MARKS;
        if (basic.FileAttributes == 0)
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
    }
    CloseHandle(file);
}
