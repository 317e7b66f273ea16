// Reading and rewriting the one-line files of the system.
#include "setting_file.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

namespace {

struct TokenRow {
    const char* token;
    DWORD duration;
};

// The only texts that may follow "Setting=", in the order they are compared.
constexpr TokenRow TOKEN_TABLE[] = {
    {"5mins", FIVE_MINUTES}, {"30mins", THIRTY_MINUTES}, {"1hr", ONE_HOUR},
    {"2hr", TWO_HOURS},      {"4hr", FOUR_HOURS},
};

constexpr char SETTING_PREFIX[] = "Setting=";
constexpr size_t PREFIX_LENGTH = sizeof(SETTING_PREFIX) - 1;

// "Setting=" and the shortest token, "1hr": a line that can carry a token is at least
// 11 bytes long.
constexpr size_t SHORTEST_TOKEN_LINE = PREFIX_LENGTH + sizeof("1hr") - 1;

// One byte of the buffer stays for the terminator, and one more is kept spare.
constexpr int READ_LIMIT = LINE_BUFFER_SIZE - 1;

// fgets leaves the buffer alone when nothing is left to read, so the last line stays.
void read_last_line(FILE* file, char* line)
{
    while (!feof(file)) {
        if (fgets(line, READ_LIMIT, file) == nullptr)
            break;
    }
    fclose(file);
}

// A text-mode stream on a handle of its own to the caller's file; null when none can be
// made. Closing the stream closes only that handle.
FILE* stream_of(HANDLE file, int flags, const char* mode)
{
    HANDLE own = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &own, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return nullptr;
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(own), flags | _O_TEXT);
    if (descriptor == -1) {
        CloseHandle(own);
        return nullptr;
    }
    FILE* stream = _fdopen(descriptor, mode);
    if (stream == nullptr)
        _close(descriptor);
    return stream;
}

void put_setting(FILE* file, const char* token)
{
    fputs(SETTING_PREFIX, file);
    fputs(token, file);
    fclose(file);
}

} // namespace

bool read_setting_line(const char* path, char* line)
{
    FILE* file = nullptr;
    if (fopen_s(&file, path, "r") != 0 || file == nullptr)
        return false;
    read_last_line(file, line);
    return true;
}

bool read_setting_handle(HANDLE handle, char* line)
{
    FILE* file = stream_of(handle, _O_RDONLY, "r");
    if (file == nullptr)
        return false;
    read_last_line(file, line);
    return true;
}

const char* setting_token(const char* line)
{
    // The prefix itself is skipped unread.
    if (strlen(line) < SHORTEST_TOKEN_LINE)
        return nullptr;
    return line + PREFIX_LENGTH;
}

bool token_to_duration(const char* token, DWORD* duration)
{
    for (const TokenRow& row : TOKEN_TABLE) {
        if (strcmp(token, row.token) == 0) {
            *duration = row.duration;
            return true;
        }
    }
    return false;
}

bool launcher_delay(const char* token, DWORD* duration)
{
    DWORD found = 0;
    if (!token_to_duration(token, &found) || found == FIVE_MINUTES)
        return false;
    *duration = found;
    return true;
}

const char* duration_to_token(DWORD duration)
{
    switch (duration) {
    case THIRTY_MINUTES: return "30mins";
    case ONE_HOUR: return "1hr";
    case TWO_HOURS: return "2hr";
    default: return "4hr";
    }
}

int write_setting_handle(HANDLE handle, const char* token)
{
    FILE* file = stream_of(handle, _O_WRONLY, "w");
    if (file == nullptr)
        return WRITE_FAILED;
    put_setting(file, token);
    return WRITE_OK;
}
