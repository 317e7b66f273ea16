// Real files under C:\NuvexKV of the test's Wine prefix, written and read byte for byte.
#pragma once

#include "system_names.h"

#include <string>

void make_setting_folder();
void remove_setting_folder(); // with everything in it
void remove_folder(const std::string& path); // with the files and empty folders in it
// Everyone may change the file or folder: under Wine, mode 0777.
void open_to_everyone(const std::string& path);

void write_bytes(const std::string& path, const std::string& bytes);
std::string read_bytes(const std::string& path); // "<missing>" when it cannot be opened
bool file_exists(const std::string& path);
// Its size, read without opening it; -1 when it is not there.
long long file_size(const std::string& path);

// A second process that holds a file open until release() or destruction. share_read
// lets readers in beside it; nobody may write while it holds the file.
class FileHolder {
public:
    FileHolder(const std::string& path, bool share_read);
    ~FileHolder();
    void release();

private:
    void* process_ = nullptr;
    void* release_event_ = nullptr;
};
