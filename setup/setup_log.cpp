// The installer's log takes a record whose field 0 is the text.
#include "setup_log.h"

#include <stdarg.h>
#include <stdio.h>
#include <wchar.h>

namespace {

constexpr wchar_t PREFIX[] = L"Nuvex Kelvaro setup: ";

void send_to_installer(MSIHANDLE install, const wchar_t* line)
{
    MSIHANDLE record = MsiCreateRecord(0);
    MsiRecordSetStringW(record, 0, line);
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
    MsiCloseHandle(record);
}

// The line's prefix and formatted text; the length used.
size_t format_line(wchar_t* line, size_t size, const wchar_t* format, va_list args)
{
    wcscpy_s(line, size, PREFIX);
    size_t used = wcslen(line);
    _vsnwprintf_s(line + used, size - used, _TRUNCATE, format, args);
    return wcslen(line);
}

// The system's words for the error, without the full stop and line break they end with.
void append_error(wchar_t* line, size_t size, size_t used, DWORD error)
{
    wchar_t said[256] = L"";
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), said, _countof(said),
                                  nullptr);
    while (length > 0 && wcschr(L" .\r\n", said[length - 1]) != nullptr)
        said[--length] = L'\0';
    _snwprintf_s(line + used, size - used, _TRUNCATE, L": %ls (Windows error %lu).", said, error);
}

} // namespace

LogSink setup_log_sink = send_to_installer;

void log_step(MSIHANDLE install, const wchar_t* format, ...)
{
    wchar_t line[768];
    va_list args;
    va_start(args, format);
    format_line(line, _countof(line), format, args);
    va_end(args);
    setup_log_sink(install, line);
}

void log_failure(MSIHANDLE install, DWORD error, const wchar_t* format, ...)
{
    wchar_t line[768];
    va_list args;
    va_start(args, format);
    size_t used = format_line(line, _countof(line), format, args);
    va_end(args);
    append_error(line, _countof(line), used, error);
    setup_log_sink(install, line);
}
