// The restart prompt: its text, and the answers given on a real message box.
#include "dialog_answerer.h"
#include "power_recorder.h"
#include "restart_prompt.h"
#include "setting_file.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr int MESSAGE_TEXT_ID = 0xFFFF;

std::wstring composed(DWORD no_duration)
{
    wchar_t text[PROMPT_TEXT_SIZE];
    wmemset(text, L'#', PROMPT_TEXT_SIZE); // a stale buffer must not show through
    compose_restart_prompt(no_duration, text);
    return text;
}

TEST(RestartPromptText, EachNoDurationGivesItsText)
{
    const std::wstring head = L"Do you want to restart and Auto-Shutdown after\n\n[Yes] 5 mins time ";
    const std::wstring tail = L"\n\nOr\n\n[Cancel] to abort?";
    const std::pair<DWORD, std::wstring> rows[] = {
        {1800000, L"\n\n[No] 30 mins time "}, {3600000, L"\n\n[No] 1 hour time "},
        {7200000, L"\n\n[No] 2 hours time "}, {14400000, L"\n\n[No] 4 hours time "},
        {0, L""},                             {300000, L""},
        {3600001, L""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(head + row.second + tail, composed(row.first)) << row.first;

    EXPECT_EQ(110u, composed(7200000).size()) << "the longest text";
}

// Whether the box shows an icon beside its text.
bool shows_an_icon(HWND box)
{
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[16] = L"";
        GetClassNameW(child, name, 16);
        if (_wcsicmp(name, L"Static") == 0 && IsWindowVisible(child) &&
            SendMessageW(child, STM_GETICON, 0, 0) != 0)
            return true;
    }
    return false;
}

// The button drawn as the default one, which Enter presses.
int default_button(HWND box)
{
    for (int id : {IDYES, IDNO, IDCANCEL}) {
        LONG style = GetWindowLongW(GetDlgItem(box, id), GWL_STYLE);
        if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return id;
    }
    return 0;
}

struct Answer {
    const char* name;
    int button;          // IDYES, IDNO, IDCANCEL; 0 closes the box from its caption
    DWORD no_duration;
    DWORD changed_to;    // the No-duration set while the box is open (0: unchanged)
    bool folder;
    RestartChoice choice;
    int status;          // write status for Yes and No
    const char* file;    // the file afterwards
    bool restarted;
};

class RestartPrompt : public ::testing::Test {
protected:
    void SetUp() override
    {
        remove_setting_folder();
        make_setting_folder();
    }
    void TearDown() override { remove_setting_folder(); }
};

TEST_F(RestartPrompt, AnswersOnTheBoxDecideFileAndRestart)
{
    bool any_icon = false;
    bool yes_default = true;
    const Answer answers[] = {
        {"Yes", IDYES, 3600000, 0, true, RestartChoice::Yes, 0, "Setting=5mins", true},
        {"No, 1 hour", IDNO, 3600000, 0, true, RestartChoice::No, 0, "Setting=1hr", true},
        {"No, 30 mins", IDNO, 1800000, 0, true, RestartChoice::No, 0, "Setting=30mins", true},
        {"No, 2 hours", IDNO, 7200000, 0, true, RestartChoice::No, 0, "Setting=2hr", true},
        {"No, 4 hours", IDNO, 14400000, 0, true, RestartChoice::No, 0, "Setting=4hr", true},
        {"No, duration 0", IDNO, 0, 0, true, RestartChoice::No, 0, "Setting=4hr", true},
        {"No, duration 300000", IDNO, 300000, 0, true, RestartChoice::No, 0, "Setting=4hr", true},
        {"No, changed while open", IDNO, 0, 3600000, true, RestartChoice::No, 0, "Setting=1hr", true},
        {"No, changed to 2 hours", IDNO, 1800000, 7200000, true, RestartChoice::No, 0, "Setting=2hr", true},
        {"Cancel", IDCANCEL, 3600000, 0, true, RestartChoice::Cancel, -1, "Setting=4hr\r\n", false},
        {"box closed", 0, 3600000, 0, true, RestartChoice::Cancel, -1, "Setting=4hr\r\n", false},
        {"Yes, no folder", IDYES, 3600000, 0, false, RestartChoice::Yes, 2, "<missing>", false},
        {"No, no folder", IDNO, 3600000, 0, false, RestartChoice::No, 2, "<missing>", false},
    };
    for (const Answer& a : answers) {
        remove_setting_folder();
        if (a.folder) {
            make_setting_folder();
            write_bytes(SETTING_FILE_PATH_A, "Setting=4hr\r\n");
        }
        PowerRecorder recorder;
        DWORD no_duration = a.no_duration;
        std::wstring shown;
        bool icon = true;
        int enter = 0;
        DialogAnswerer answerer(PROMPT_CAPTION, [&](HWND box) {
            shown = control_text(box, MESSAGE_TEXT_ID);
            icon = shows_an_icon(box);
            enter = default_button(box);
            if (a.changed_to != 0)
                no_duration = a.changed_to;
            if (a.button == 0)
                SendMessageW(box, WM_CLOSE, 0, 0);
            else
                click(box, a.button);
        });

        int status = -1;
        RestartChoice choice = run_restart_prompt(nullptr, &no_duration, &status);

        EXPECT_EQ(1, answerer.answered()) << a.name;
        EXPECT_EQ(composed(a.no_duration), shown)
            << a.name << ": the box shows the text composed at its opening";
        any_icon = any_icon || icon;
        yes_default = yes_default && enter == IDYES;
        EXPECT_EQ(a.choice, choice) << a.name;
        EXPECT_EQ(a.status, status) << a.name;
        EXPECT_EQ(a.file, read_bytes(SETTING_FILE_PATH_A)) << a.name;
        auto requests = recorder.requests();
        ASSERT_EQ(a.restarted ? 1u : 0u, requests.size()) << a.name;
        if (a.restarted) {
            EXPECT_EQ("ExitWindowsEx", requests[0].call) << a.name;
            EXPECT_EQ(RESTART_FLAGS, requests[0].flags) << a.name;
            EXPECT_EQ(PLANNED, requests[0].reason) << a.name;
        }
    }
    EXPECT_FALSE(any_icon) << "a plain box, without an icon";
    EXPECT_TRUE(yes_default) << "Yes is the default button";
}

TEST_F(RestartPrompt, RefusedRestartKeepsTheWrittenSetting)
{
    PowerRecorder recorder;
    recorder.answer(FALSE);
    DWORD no_duration = 7200000;
    DialogAnswerer answerer(PROMPT_CAPTION, [](HWND box) { click(box, IDNO); });
    int status = -1;
    EXPECT_EQ(RestartChoice::No, run_restart_prompt(nullptr, &no_duration, &status));
    EXPECT_EQ(0, status);
    EXPECT_EQ(1u, recorder.requests().size());
    EXPECT_EQ("Setting=2hr", read_bytes(SETTING_FILE_PATH_A));
}

TEST_F(RestartPrompt, BoxThatCannotBeShownCountsAsCancel)
{
    PowerRecorder recorder;
    write_bytes(SETTING_FILE_PATH_A, "Setting=1hr");
    DWORD no_duration = 3600000;
    HWND destroyed = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(destroyed);
    EXPECT_EQ(RestartChoice::Cancel, run_restart_prompt(destroyed, &no_duration));
    EXPECT_TRUE(recorder.requests().empty());
    EXPECT_EQ("Setting=1hr", read_bytes(SETTING_FILE_PATH_A));
}

} // namespace
