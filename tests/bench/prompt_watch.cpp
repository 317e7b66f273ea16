// prompt_watch: times how long programs take from their start until the restart prompt
// is on the screen, from outside them but inside the same Wine session.
//
//   prompt_watch RUNS FOLDER PROGRAM...
//
// Starts each PROGRAM in turn, with FOLDER as its current directory, RUNS times each
// (PROGRAM 1, PROGRAM 2, ..., PROGRAM 1, ...), after one round that is not counted. A run
// is timed from just before CreateProcessW to the first moment the prompt's box is found
// visible (polled about every millisecond); the box is then answered Cancel and the
// program must end before the next run starts. Prints "<program> <ms to prompt> <ms from
// Cancel to its end>" per counted run. Exit code 0, 1 when a prompt did not show or a program did not end, 2 for
// bad arguments.
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

namespace {

constexpr wchar_t PROMPT_CLASS[] = L"#32770";
constexpr wchar_t PROMPT_CAPTION[] = L"Nuvex Kelvaro (Free Version)";
constexpr double PROMPT_TIMEOUT_MS = 30000;
constexpr DWORD END_TIMEOUT_MS = 10000;
// Lets the previous program's windows and process leave the session before the next.
constexpr DWORD PAUSE_BETWEEN_RUNS_MS = 200;

LARGE_INTEGER frequency;

double elapsed_ms(const LARGE_INTEGER& since)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - since.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

HWND visible_prompt()
{
    HWND box = FindWindowW(PROMPT_CLASS, PROMPT_CAPTION);
    return box != nullptr && IsWindowVisible(box) ? box : nullptr;
}

void print(const char* text)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(strlen(text)), &written,
              nullptr);
}

const wchar_t* file_name(const wchar_t* path)
{
    const wchar_t* slash = wcsrchr(path, L'\\');
    return slash != nullptr ? slash + 1 : path;
}

struct RunTimes {
    double to_prompt; // negative when the run failed
    double to_end;
};

// One run of the program.
RunTimes time_one_run(const wchar_t* program, const wchar_t* folder)
{
    wchar_t command_line[MAX_PATH + 2];
    swprintf(command_line, MAX_PATH + 2, L"\"%ls\"", program);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};

    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(program, command_line, nullptr, nullptr, FALSE, 0, nullptr, folder,
                        &startup, &process)) {
        fprintf(stderr, "cannot start %ls (error %lu)\n", program, GetLastError());
        return {-1, 0};
    }

    HWND box = nullptr;
    double shown = 0;
    while ((box = visible_prompt()) == nullptr) {
        shown = elapsed_ms(start);
        if (shown > PROMPT_TIMEOUT_MS)
            break;
        Sleep(1);
    }
    if (box != nullptr)
        shown = elapsed_ms(start);

    bool ended = false;
    double to_end = 0;
    if (box != nullptr) {
        LARGE_INTEGER answered;
        QueryPerformanceCounter(&answered);
        PostMessageW(GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0);
        ended = WaitForSingleObject(process.hProcess, END_TIMEOUT_MS) == WAIT_OBJECT_0;
        to_end = elapsed_ms(answered);
    }
    if (!ended) {
        fprintf(stderr, "%ls: %s\n", program,
                box == nullptr ? "no prompt showed up" : "did not end after Cancel");
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, END_TIMEOUT_MS);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    Sleep(PAUSE_BETWEEN_RUNS_MS);
    return {ended ? shown : -1, to_end};
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4)
        return 2;
    wchar_t* end = nullptr;
    long runs = wcstol(argv[1], &end, 10);
    if (end == argv[1] || *end != L'\0' || runs <= 0)
        return 2;
    const wchar_t* folder = argv[2];
    QueryPerformanceFrequency(&frequency);

    // Round 0 warms the session up (the first box of a session is slow) and is not printed.
    for (long round = 0; round <= runs; ++round) {
        for (int p = 3; p < argc; ++p) {
            RunTimes times = time_one_run(argv[p], folder);
            if (times.to_prompt < 0)
                return 1;
            if (round == 0)
                continue;
            char line[MAX_PATH + 32];
            snprintf(line, sizeof(line), "%ls %.2f %.2f\n", file_name(argv[p]), times.to_prompt,
                     times.to_end);
            print(line);
        }
    }
    return 0;
}
