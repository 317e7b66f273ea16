// Holds a file or a folder open, as another program would, so the tests can see what a
// conflicting open does. Arguments: path, 1 to let readers share, the "held" and "release"
// events.
#include <windows.h>

#include <stdlib.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 5)
        return 2;
    DWORD share = argv[2][0] == L'1' ? FILE_SHARE_READ : 0;
    HANDLE held = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(_wcstoui64(argv[3], nullptr, 10)));
    HANDLE release = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(_wcstoui64(argv[4], nullptr, 10)));

    HANDLE file = CreateFileW(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    SetEvent(held);
    WaitForSingleObject(release, INFINITE);
    CloseHandle(file);
    return 0;
}
