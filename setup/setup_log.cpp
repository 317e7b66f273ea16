// The installer's log takes a record whose field 0 is the text.
#include "setup_log.h"

#include <stdarg.h>
#include <stdio.h>

void log_step(MSIHANDLE install, const wchar_t* format, ...)
{
    wchar_t text[512] = L"Nuvex Kelvaro setup: ";
    size_t used = wcslen(text);
    va_list args;
    va_start(args, format);
    _vsnwprintf_s(text + used, _countof(text) - used, _TRUNCATE, format, args);
    va_end(args);

    MSIHANDLE record = MsiCreateRecord(0);
    MsiRecordSetStringW(record, 0, text);
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
    MsiCloseHandle(record);
}
