// Every name under C:\NuvexKV is looked at twice, by name and through a handle opened on
// the name itself, and acted on through that handle or by creating anew: a link a user
// put there is renamed or refused, never followed.
#include "setting_folder.h"

#include "folder_decision.h"
#include "folder_rights.h"
#include "launcher.h"
#include "setting_file.h"
#include "setup_log.h"

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

namespace {

// The programs' 8-bit names as the wide ones the file API takes.
template <size_t N>
struct Wide {
    wchar_t text[N];
};
template <size_t N>
constexpr Wide<N> widen(const char (&ascii)[N])
{
    Wide<N> wide{};
    for (size_t i = 0; i < N; ++i)
        wide.text[i] = static_cast<wchar_t>(ascii[i]);
    return wide;
}
constexpr auto SETTING_FILE = widen(SETTING_FILE_PATH);
constexpr auto LAUNCHER_CONFIG = widen(LAUNCHER_CONFIG_FILE);

struct Paths {
    wchar_t folder[MAX_PATH];
    wchar_t config[MAX_PATH];
};

Paths folder_paths()
{
    Paths paths{};
    wcscpy_s(paths.folder, SETTING_FILE.text);
    *wcsrchr(paths.folder, L'\\') = L'\0';
    _snwprintf_s(paths.config, _TRUNCATE, L"%ls\\%ls", paths.folder, LAUNCHER_CONFIG.text);
    return paths;
}

// The last lines of the two files a folder set aside held, when they could be read.
struct Carried {
    char setting[LINE_BUFFER_SIZE];
    char config[LINE_BUFFER_SIZE];
    bool config_found;
};

Entry entry_of(DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Entry::link;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Entry::directory : Entry::file;
}

Entry entry_by_name(const wchar_t* path)
{
    DWORD attributes = GetFileAttributesW(path);
    return attributes == INVALID_FILE_ATTRIBUTES ? Entry::missing : entry_of(attributes);
}

// Opens the name itself: a link, not what it points to (on Windows).
HANDLE open_unfollowed(const wchar_t* path, DWORD access, DWORD share)
{
    return CreateFileW(path, access, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

BY_HANDLE_FILE_INFORMATION handle_info(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        info.dwFileAttributes = INVALID_FILE_ATTRIBUTES;
    return info;
}

Entry entry_by_handle(HANDLE handle)
{
    DWORD attributes = handle_info(handle).dwFileAttributes;
    return attributes == INVALID_FILE_ATTRIBUTES ? Entry::missing : entry_of(attributes);
}

bool is_package_own(HANDLE folder)
{
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    bool own = GetSecurityDescriptorControl(descriptor, &control, &revision) &&
               folder_is_own(owner, dacl, control);
    LocalFree(descriptor);
    return own;
}

// The last line, read as the programs read it: the runtime's text mode, their buffer and
// their limit. Takes over the handle.
void read_last_line(HANDLE file, char* line)
{
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_TEXT);
    if (descriptor == -1) {
        CloseHandle(file);
        return;
    }
    FILE* stream = _fdopen(descriptor, "r");
    if (stream == nullptr) {
        _close(descriptor);
        return;
    }
    while (!feof(stream))
        if (fgets(line, LINE_BUFFER_SIZE - 1, stream) == nullptr)
            break;
    fclose(stream);
}

bool carry_line(MSIHANDLE install, const wchar_t* path, char* line)
{
    FileSeen seen{entry_by_name(path), Entry::missing, 0, 0};
    if (seen.by_name == Entry::missing)
        return false;
    HANDLE file = open_unfollowed(path, GENERIC_READ, FILE_SHARE_READ);
    if (file == INVALID_HANDLE_VALUE) {
        log_step(install, L"%ls not read (Windows error %lu).", path, GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info = handle_info(file);
    if (info.dwFileAttributes != INVALID_FILE_ATTRIBUTES) {
        seen.by_handle = entry_of(info.dwFileAttributes);
        seen.links = info.nNumberOfLinks;
        seen.size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    }
    if (!carries_over(seen)) {
        CloseHandle(file);
        log_step(install, L"%ls not read: not a plain file with one name of at most %u bytes.", path,
                 static_cast<unsigned>(LARGEST_CARRIED_FILE));
        return false;
    }
    read_last_line(file, line);
    log_step(install, L"%ls: its last line (%u bytes) carries over.", path,
             static_cast<unsigned>(strlen(line)));
    return true;
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
    return SetFileInformationByHandle(handle, FileRenameInfo, &rename, sizeof rename) ? ERROR_SUCCESS
                                                                                       : GetLastError();
}

// Renames what the handle holds (a link itself, on Windows) to a free name that says
// what it was and when.
bool set_aside(MSIHANDLE install, const Paths& paths, HANDLE handle, const wchar_t* what)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    for (int attempt = 0; attempt < 10; ++attempt) {
        wchar_t name[MAX_PATH];
        aside_name(paths.folder, what, now, attempt, name, MAX_PATH);
        DWORD error = rename_by_handle(handle, name);
        if (error == ERROR_SUCCESS) {
            log_step(install, L"%ls, a %ls, set aside as %ls.", paths.folder, what, name);
            return true;
        }
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
            log_step(install, L"%ls could not be set aside (Windows error %lu).", paths.folder, error);
            return false;
        }
    }
    log_step(install, L"%ls could not be set aside: every name tried is taken.", paths.folder);
    return false;
}

// A new file with its rights, holding the line; one already there stays as it is when
// `keep_existing`.
bool make_file(MSIHANDLE install, const wchar_t* path, Guarded what, const char* line, bool keep_existing)
{
    // Without its own descriptor a file would take the folder's rights: none is made then.
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, make_security(what), FALSE};
    HANDLE file = attributes.lpSecurityDescriptor == nullptr
                      ? INVALID_HANDLE_VALUE
                      : CreateFileW(path, GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD error = GetLastError();
    LocalFree(attributes.lpSecurityDescriptor);
    if (file == INVALID_HANDLE_VALUE) {
        if (keep_existing && error == ERROR_FILE_EXISTS) {
            log_step(install, L"%ls is there: left as it is.", path);
            return true;
        }
        log_step(install, L"%ls could not be made (Windows error %lu).", path, error);
        return false;
    }
    DWORD length = static_cast<DWORD>(strlen(line));
    DWORD written = 0;
    bool wrote = WriteFile(file, line, length, &written, nullptr) && written == length;
    error = GetLastError();
    CloseHandle(file);
    if (wrote)
        log_step(install, L"%ls made, %lu bytes.", path, length);
    else
        log_step(install, L"%ls could not be written (Windows error %lu).", path, error);
    return wrote;
}

bool make_folder(MSIHANDLE install, const Paths& paths, const Carried& carried)
{
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, make_security(Guarded::folder), FALSE};
    bool made = attributes.lpSecurityDescriptor != nullptr && CreateDirectoryW(paths.folder, &attributes);
    DWORD error = GetLastError();
    LocalFree(attributes.lpSecurityDescriptor);
    if (!made) {
        log_step(install, L"%ls could not be made (Windows error %lu).", paths.folder, error);
        return false;
    }
    log_step(install, L"%ls made with the package's rights.", paths.folder);
    return make_file(install, SETTING_FILE.text, Guarded::setting_file, carried.setting, false) &&
           (!carried.config_found ||
            make_file(install, paths.config, Guarded::launcher_config, carried.config, false));
}

// Looks at the name, then holds what it names through a handle that does not follow a
// link and shares no delete, so nobody can rename or replace it until it is closed.
FolderSeen inspect_folder(MSIHANDLE install, const Paths& paths, HANDLE* folder)
{
    FolderSeen seen{entry_by_name(paths.folder), Entry::missing, false};
    if (seen.by_name == Entry::missing)
        return seen;
    *folder = open_unfollowed(paths.folder, DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (*folder == INVALID_HANDLE_VALUE) {
        log_step(install, L"%ls could not be opened without following it (Windows error %lu).",
                 paths.folder, GetLastError());
        return seen;
    }
    seen.by_handle = entry_by_handle(*folder);
    seen.own = seen.by_handle == Entry::directory && is_package_own(*folder);
    return seen;
}

// The configuration that a launcher delay given at install makes, in place of any other.
void configure_delay(Carried& carried, const wchar_t* launcher_delay)
{
    if (*launcher_delay == L'\0')
        return;
    _snprintf_s(carried.config, _TRUNCATE, "Setting=%ls", launcher_delay);
    carried.config_found = true;
}

// In the package's own folder nobody else adds a name: the old file, whatever it is, goes
// and the new one is made in its place.
bool replace_file(MSIHANDLE install, const wchar_t* path, Guarded what, const char* line)
{
    if (!DeleteFileW(path) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        log_step(install, L"%ls could not be replaced (Windows error %lu).", path, GetLastError());
        return false;
    }
    return make_file(install, path, what, line, false);
}

bool replace_folder(MSIHANDLE install, const Paths& paths, HANDLE folder, FolderDecision decision,
                    bool was_directory, const wchar_t* launcher_delay)
{
    Carried carried{};
    if (was_directory) {
        carry_line(install, SETTING_FILE.text, carried.setting);
        carried.config_found = carry_line(install, paths.config, carried.config);
    }
    configure_delay(carried, launcher_delay);
    bool moved = set_aside(install, paths, folder, decision.what);
    CloseHandle(folder);
    return moved && make_folder(install, paths, carried);
}

} // namespace

bool secure_setting_folder(MSIHANDLE install, const wchar_t* launcher_delay)
{
    Paths paths = folder_paths();
    HANDLE folder = INVALID_HANDLE_VALUE;
    FolderSeen seen = inspect_folder(install, paths, &folder);
    FolderDecision decision = decide_folder(seen);
    if (decision.step == FolderStep::move_aside)
        return replace_folder(install, paths, folder, decision, seen.by_handle == Entry::directory,
                              launcher_delay);
    if (folder != INVALID_HANDLE_VALUE)
        CloseHandle(folder);
    Carried given{};
    configure_delay(given, launcher_delay);
    switch (decision.step) {
    case FolderStep::create:
        return make_folder(install, paths, given);
    case FolderStep::keep:
        log_step(install, L"%ls is the package's own: left as it is.", paths.folder);
        return make_file(install, SETTING_FILE.text, Guarded::setting_file, "", true) &&
               (!given.config_found ||
                replace_file(install, paths.config, Guarded::launcher_config, given.config));
    default:
        log_step(install, L"%ls is left as it is: a link this system opens as its target, or gone "
                          L"while it was looked at. An administrator must remove it.", paths.folder);
        return false;
    }
}
