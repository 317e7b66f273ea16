// The tray notifier's window fed real messages and real timer ticks: the clearing of a
// pending setting, the prompt from the icon, the re-hide rhythm and the way out. Each case
// has a window of its own, from which the notifier starts afresh.
#include "dialog_answerer.h"
#include "notifier.h"
#include "power_recorder.h"
#include "resource_ids.h"
#include "restart_prompt.h"
#include "setting_file.h"
#include "test_files.h"
#include "window_shell.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr int MESSAGE_TEXT_ID = 0xFFFF;

// Dispatches this thread's messages, as the program's loop would, until the condition
// holds or the time is up.
bool pump_until(DWORD milliseconds, const std::function<bool()>& done)
{
    for (DWORD start = GetTickCount(); !done() && GetTickCount() - start < milliseconds;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return done();
}

LRESULT press(HWND window, LPARAM mouse_message)
{
    return SendMessageW(window, TRAY_CALLBACK_MESSAGE, TRAY_ICON_ID, mouse_message);
}

class Notifier : public ::testing::Test {
protected:
    void SetUp() override
    {
        remove_setting_folder();
        make_setting_folder();
        register_notifier_class(GetModuleHandleW(nullptr));
        window = create_notifier_window(GetModuleHandleW(nullptr));
        ASSERT_NE(nullptr, window);
    }
    void TearDown() override
    {
        end_shell_class();
        remove_setting_folder();
    }
    HWND window = nullptr;
};

TEST_F(Notifier, WindowIsAHiddenTopmostBarAlongTheBottom)
{
    RECT bar;
    GetWindowRect(window, &bar);
    EXPECT_EQ(0, bar.left);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN) - 50, bar.top);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), bar.right - bar.left);
    EXPECT_EQ(50, bar.bottom - bar.top);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_STREQ(L"NuvexKV", shell_state().class_name);
    EXPECT_STREQ(L"NuvexKV", shell_state().window_title);
    // The small icon is the class icon too: the application icon is not.
    HICON small_icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_SMALL));
    EXPECT_EQ(small_icon, reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICON)));
    EXPECT_EQ(small_icon, reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICONSM)));
}

TEST_F(Notifier, TrayRecordIsFilledOnce)
{
    add_tray_icon(window);
    const NOTIFYICONDATAW& tray = notifier_tray_record();
    EXPECT_EQ(sizeof(NOTIFYICONDATAW), tray.cbSize) << "the full record";
    EXPECT_EQ(window, tray.hWnd);
    EXPECT_EQ(100u, tray.uID);
    EXPECT_EQ(7u, tray.uFlags);
    EXPECT_EQ(1026u, tray.uCallbackMessage);
    EXPECT_EQ(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_SMALL)), tray.hIcon);
    EXPECT_STREQ(L"Nuvex Kelvaro (Free Version)", tray.szTip);

    // Everything after the tip is zero but the version, 3.
    NOTIFYICONDATAW tail;
    memset(&tail, 0, sizeof(tail));
    tail.uVersion = 3;
    const size_t from = offsetof(NOTIFYICONDATAW, dwState);
    EXPECT_EQ(0, memcmp(reinterpret_cast<const char*>(&tail) + from,
                        reinterpret_cast<const char*>(&tray) + from, sizeof(tray) - from));
}

TEST_F(Notifier, PendingSettingIsClearedAboutOneSecondAfterStart)
{
    write_bytes(SETTING_FILE_PATH_A, "Setting=2hr");
    EXPECT_EQ(0u, notifier_no_duration());
    const DWORD started = GetTickCount();
    start_notifier_timers(window);
    ASSERT_TRUE(pump_until(5000, [] { return read_bytes(SETTING_FILE_PATH_A) == "Setting="; }));
    // Seen when this thread got to it: never early, perhaps late.
    EXPECT_GE(GetTickCount() - started, 950u) << "not before the first tick, a second after start";
    EXPECT_EQ(3600000u, notifier_no_duration());

    // Later ticks leave the file alone.
    write_bytes(SETTING_FILE_PATH_A, "Setting=4hr");
    SendMessageW(window, WM_TIMER, CLEAR_TIMER_ID, 0);
    EXPECT_EQ("Setting=4hr", read_bytes(SETTING_FILE_PATH_A));
}

TEST_F(Notifier, MissingFolderIsRetriedAtEveryTickAndThePromptActsOnNothing)
{
    PowerRecorder recorder;
    remove_setting_folder();
    for (int tick = 0; tick < 3; ++tick)
        SendMessageW(window, WM_TIMER, CLEAR_TIMER_ID, 0);
    EXPECT_EQ(0u, notifier_no_duration());

    for (int button : {IDYES, IDNO}) {
        std::wstring shown;
        DialogAnswerer answerer(PROMPT_CAPTION, [&](HWND box) {
            shown = control_text(box, MESSAGE_TEXT_ID);
            click(box, button);
        });
        press(window, WM_LBUTTONDOWN);
        EXPECT_EQ(std::wstring::npos, shown.find(L"[No]")) << "no No line while nothing is cleared";
    }
    EXPECT_TRUE(recorder.requests().empty());
    EXPECT_FALSE(file_exists(SETTING_FOLDER_PATH_A));

    make_setting_folder(); // and no file in it: the tick makes one
    SendMessageW(window, WM_TIMER, CLEAR_TIMER_ID, 0);
    EXPECT_EQ("Setting=", read_bytes(SETTING_FILE_PATH_A));
    EXPECT_EQ(3600000u, notifier_no_duration());
}

struct IconEvent {
    LPARAM mouse_message;
    bool opens_prompt;
};

TEST_F(Notifier, PressesOpenThePromptReleasesAndDoubleClicksDoNot)
{
    PowerRecorder recorder;
    write_bytes(SETTING_FILE_PATH_A, "Setting=30mins");
    const IconEvent events[] = {
        {WM_LBUTTONDOWN, true},   {WM_RBUTTONDOWN, true},  {WM_LBUTTONUP, false},
        {WM_RBUTTONUP, false},    {WM_LBUTTONDBLCLK, false}, {WM_RBUTTONDBLCLK, false},
        {WM_MBUTTONDOWN, false},  {WM_MBUTTONUP, false},   {WM_MOUSEMOVE, false},
    };
    // A press is sent, so a prompt it opens is answered before it returns: the count is
    // final then.
    for (const IconEvent& e : events) {
        DialogAnswerer answerer(PROMPT_CAPTION, [](HWND box) { click(box, IDCANCEL); });
        press(window, e.mouse_message);
        EXPECT_EQ(e.opens_prompt ? 1 : 0, answerer.answered()) << "mouse message " << e.mouse_message;
    }

    // A double click arrives as press, release, double click, release: one prompt.
    DialogAnswerer answerer(PROMPT_CAPTION, [](HWND box) { click(box, IDCANCEL); });
    for (LPARAM m : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        press(window, m);
    EXPECT_EQ(1, answerer.answered());

    EXPECT_TRUE(recorder.requests().empty());
    EXPECT_EQ("Setting=30mins", read_bytes(SETTING_FILE_PATH_A)) << "Cancel leaves the file as it was";
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(Notifier, AnswersBeforeAndAfterTheFirstTick)
{
    struct Case {
        const char* name;
        int button;
        const char* file; // after the answer, and after the ticks that follow it
        bool no_line;
        size_t restarts;
        DWORD no_duration; // after the answer
        bool then_tick;    // a clearing tick comes after this answer
    };
    // A request left by an earlier run, which the first answer leaves in place.
    write_bytes(SETTING_FILE_PATH_A, "Setting=2hr");
    const Case cases[] = {
        {"Cancel before the first tick", IDCANCEL, "Setting=2hr", false, 0, 0, false},
        {"No before it, then ticks", IDNO, "Setting=4hr", false, 1, 3600000, true},
        {"No after them", IDNO, "Setting=1hr", true, 1, 3600000, false},
        {"Yes after them", IDYES, "Setting=5mins", true, 1, 3600000, false},
    };
    for (const Case& c : cases) {
        PowerRecorder recorder;
        std::wstring shown;
        DialogAnswerer answerer(PROMPT_CAPTION, [&](HWND box) {
            shown = control_text(box, MESSAGE_TEXT_ID);
            click(box, c.button);
        });
        press(window, WM_RBUTTONDOWN);
        EXPECT_EQ(1, answerer.answered()) << c.name;
        EXPECT_EQ(c.file, read_bytes(SETTING_FILE_PATH_A)) << c.name;
        EXPECT_EQ(c.no_line, shown.find(L"[No] 1 hour time ") != std::wstring::npos) << c.name;
        EXPECT_EQ(c.no_duration, notifier_no_duration()) << c.name;
        ASSERT_EQ(c.restarts, recorder.requests().size()) << c.name;
        for (const PowerRequest& request : recorder.requests())
            EXPECT_EQ(RESTART_FLAGS, request.flags) << c.name;
        EXPECT_TRUE(IsWindow(window))
            << c.name << ": the notifier carries on until the restart ends it";
        if (c.then_tick) {
            // The restart may take a while to end the notifier, or be refused: the ticks
            // that come meanwhile leave the answer on disk.
            SendMessageW(window, WM_TIMER, CLEAR_TIMER_ID, 0);
            EXPECT_EQ(c.file, read_bytes(SETTING_FILE_PATH_A)) << c.name << ": after the ticks";
        }
    }
}

TEST_F(Notifier, FirstTickUnderAnOpenPromptDecidesWhatNoWrites)
{
    PowerRecorder recorder;
    write_bytes(SETTING_FILE_PATH_A, "Setting=2hr");
    std::wstring shown;
    DialogAnswerer answerer(PROMPT_CAPTION, [&](HWND box) {
        shown = control_text(box, MESSAGE_TEXT_ID);
        // The box's own loop dispatches the clearing tick; wait for its write before
        // answering (the click is handled on the window's thread, after the tick). The
        // file's size is read without opening it, which could keep the tick from writing.
        for (int i = 0; i < 1000 && file_size(SETTING_FILE_PATH_A) != sizeof("Setting=") - 1; ++i)
            Sleep(10);
        click(box, IDNO);
    });
    start_notifier_timers(window);
    press(window, WM_LBUTTONDOWN);
    EXPECT_EQ(std::wstring::npos, shown.find(L"[No]"));
    EXPECT_EQ("Setting=1hr", read_bytes(SETTING_FILE_PATH_A));
}

std::vector<HWND> open_prompts() { return dialogs_of_this_process(PROMPT_CAPTION); }

TEST_F(Notifier, PressWhileAPromptIsOpenOpensASecondOne)
{
    PowerRecorder recorder;
    write_bytes(SETTING_FILE_PATH_A, "Setting=1hr");
    size_t most_open = 0;
    std::thread person([&] {
        for (int i = 0; i < 500 && open_prompts().empty(); ++i)
            Sleep(20);
        // The second press reaches the window through the first box's own loop.
        PostMessageW(window, TRAY_CALLBACK_MESSAGE, TRAY_ICON_ID, WM_RBUTTONDOWN);
        for (int i = 0; i < 500 && open_prompts().size() < 2; ++i)
            Sleep(20);
        most_open = open_prompts().size();
        for (HWND box : open_prompts())
            click(box, IDCANCEL);
    });
    press(window, WM_LBUTTONDOWN);
    person.join();
    EXPECT_EQ(2u, most_open);
    EXPECT_TRUE(open_prompts().empty());
    EXPECT_TRUE(recorder.requests().empty());
    EXPECT_EQ("Setting=1hr", read_bytes(SETTING_FILE_PATH_A));
}

TEST_F(Notifier, CloseOnlyHidesTheRehideTickPostsItOnOddTicksAndTheSessionsEndEndsIt)
{
    ShowWindow(window, SW_SHOWNA);
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window)) << "the default procedure would have destroyed it";
    EXPECT_FALSE(IsWindowVisible(window));

    std::vector<bool> posted;
    for (int tick = 1; tick <= 5; ++tick) {
        SendMessageW(window, WM_TIMER, REHIDE_TIMER_ID, 0);
        MSG close;
        posted.push_back(PeekMessageW(&close, window, WM_CLOSE, WM_CLOSE, PM_REMOVE) != FALSE);
    }
    EXPECT_EQ((std::vector<bool>{true, false, true, false, true}), posted);

    // Restart Manager, closing it for an installation, asks as a session's end does.
    EXPECT_TRUE(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP));
    SendMessageW(window, WM_ENDSESSION, FALSE, ENDSESSION_CLOSEAPP);
    EXPECT_TRUE(IsWindow(window)) << "an end called off";
    SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(Notifier, ExitStopsTheTimersAndEndsWithZero)
{
    // Destroying the window would end its timers anyway; WM_DESTROY sent to a window that
    // stays shows that the notifier stops them itself, and posts a quit with code 0.
    start_notifier_timers(window);
    SendMessageW(window, WM_DESTROY, 0, 0);
    EXPECT_FALSE(KillTimer(window, CLEAR_TIMER_ID)) << "the clearing timer still ran";
    EXPECT_FALSE(KillTimer(window, REHIDE_TIMER_ID)) << "the re-hide timer still ran";
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0u, quit.wParam);
}

} // namespace
