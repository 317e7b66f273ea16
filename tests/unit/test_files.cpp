#include "test_files.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <stdio.h>
#include <gtest/gtest.h>

void make_setting_folder()
{
    CreateDirectoryA(SETTING_FOLDER_PATH_A, nullptr);
}

void remove_setting_folder()
{
    remove_folder(SETTING_FOLDER_PATH_A);
}

void remove_folder(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string entry = path + "\\" + found.cFileName;
            SetFileAttributesA(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA(entry.c_str()))
                RemoveDirectoryA(entry.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

void open_to_everyone(const std::string& path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;OICI;FA;;;WD)", SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, dacl, nullptr)) << path;
    LocalFree(descriptor);
}

void write_bytes(const std::string& path, const std::string& bytes)
{
    FILE* file = nullptr;
    ASSERT_EQ(0, fopen_s(&file, path.c_str(), "wb")) << path;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

std::string read_bytes(const std::string& path)
{
    FILE* file = nullptr;
    if (fopen_s(&file, path.c_str(), "rb") != 0)
        return "<missing>";
    std::string bytes;
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0)
        bytes.append(chunk, got);
    fclose(file);
    return bytes;
}

bool file_exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

long long file_size(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The holder is file_holder.exe beside the test program: it opens the file, sets the
// "held" event and waits for the "release" event.
FileHolder::FileHolder(const std::string& path, bool share_read)
{
    wchar_t module[MAX_PATH];
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring exe(module);
    exe = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"file_holder.exe";

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE held = CreateEventW(&inherit, TRUE, FALSE, nullptr);
    release_event_ = CreateEventW(&inherit, TRUE, FALSE, nullptr);

    std::wstring wide_path(path.begin(), path.end());
    std::wstring command = L"\"" + exe + L"\" \"" + wide_path + L"\" " + (share_read ? L"1" : L"0") +
                           L" " + std::to_wstring(reinterpret_cast<UINT_PTR>(held)) + L" " +
                           std::to_wstring(reinterpret_cast<UINT_PTR>(release_event_));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    BOOL started = CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &info);
    EXPECT_TRUE(started) << "file_holder.exe did not start";
    if (started) {
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held, 10000)) << "file_holder.exe did not open " << path;
    }
    CloseHandle(held);
}

void FileHolder::release()
{
    if (process_ == nullptr)
        return;
    SetEvent(release_event_);
    WaitForSingleObject(process_, 10000);
    CloseHandle(process_);
    process_ = nullptr;
}

FileHolder::~FileHolder()
{
    release();
    CloseHandle(release_event_);
}
