// The launcher's start-up: the hidden window, the one prompt, and what follows each answer.
#include "dialog_answerer.h"
#include "launcher.h"
#include "power_recorder.h"
#include "resource_ids.h"
#include "restart_prompt.h"
#include "setting_file.h"
#include "test_files.h"
#include "window_shell.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

constexpr int MESSAGE_TEXT_ID = 0xFFFF;
constexpr char CONFIG_FOLDER[] = "C:\\kvlauncher";
constexpr char CONFIG_FILE[] = "C:\\kvlauncher\\shutdownaftersetting.nkv";

// A main window of the launcher in this process, hidden as it always is.
bool is_hidden_launcher_window(HWND window)
{
    for (HWND mine : windows_of_this_process(L"KVBUTTON", L"KVButton"))
        if (mine == window)
            return !IsWindowVisible(window);
    return false;
}

bool quit_posted()
{
    MSG quit;
    return PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

class Launcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        remove_setting_folder();
        make_setting_folder();
        register_main_window_class(GetModuleHandleW(nullptr), shell_window_proc, IDI_APP);
    }
    void TearDown() override
    {
        end_shell_class();
        remove_setting_folder();
    }
};

TEST_F(Launcher, CancelEndsTheProgramWithZeroAndWritesNothing)
{
    PowerRecorder recorder;
    write_bytes(SETTING_FILE_PATH_A, "Setting=2hr\n");
    bool window_hidden = false;
    DialogAnswerer answerer(PROMPT_CAPTION, [&](HWND box) {
        window_hidden = is_hidden_launcher_window(GetWindow(box, GW_OWNER));
        click(box, IDCANCEL);
    });
    EXPECT_TRUE(start_launcher(GetModuleHandleW(nullptr)));
    EXPECT_TRUE(window_hidden) << "the prompt is owned by the hidden main window";
    EXPECT_EQ(0, run_message_loop(GetModuleHandleW(nullptr)));
    EXPECT_EQ(1, answerer.answered());
    EXPECT_EQ("Setting=2hr\n", read_bytes(SETTING_FILE_PATH_A));
    EXPECT_TRUE(recorder.requests().empty());
}

TEST_F(Launcher, YesRestartsAndTheLauncherWaits)
{
    PowerRecorder recorder;
    HWND owner = nullptr;
    DialogAnswerer answerer(PROMPT_CAPTION, [&](HWND box) {
        owner = GetWindow(box, GW_OWNER);
        click(box, IDYES);
    });
    EXPECT_TRUE(start_launcher(GetModuleHandleW(nullptr)));
    EXPECT_FALSE(quit_posted()) << "after Yes the launcher waits for the restart";
    EXPECT_TRUE(is_hidden_launcher_window(owner)) << "its window stays, hidden";
    EXPECT_EQ("Setting=5mins", read_bytes(SETTING_FILE_PATH_A));
    EXPECT_EQ(1u, recorder.requests().size());
}

TEST_F(Launcher, NoWithoutFolderShowsNothingMoreAndWaits)
{
    PowerRecorder recorder;
    remove_setting_folder();
    DialogAnswerer answerer(PROMPT_CAPTION, [](HWND box) { click(box, IDNO); });
    EXPECT_TRUE(start_launcher(GetModuleHandleW(nullptr)));
    EXPECT_FALSE(quit_posted());
    EXPECT_TRUE(recorder.requests().empty());
    EXPECT_FALSE(file_exists(SETTING_FILE_PATH_A));
    EXPECT_EQ(1, answerer.answered());
}

TEST_F(Launcher, NoWindowMeansNoPrompt)
{
    // Without a registered class the window cannot be created.
    end_shell_class();
    PowerRecorder recorder;
    DialogAnswerer answerer(PROMPT_CAPTION, [](HWND box) { click(box, IDYES); });
    EXPECT_FALSE(start_launcher(GetModuleHandleW(nullptr)));
    // A prompt would have been shown, and answered, before start_launcher returned.
    EXPECT_EQ(0, answerer.answered());
    EXPECT_TRUE(recorder.requests().empty());
    EXPECT_FALSE(file_exists(SETTING_FILE_PATH_A));
}

TEST_F(Launcher, ConfigurationChoosesTheNoDurationOnceBeforeThePrompt)
{
    // Read from the current directory, by bare name.
    CreateDirectoryA(CONFIG_FOLDER, nullptr);
    SetCurrentDirectoryA(CONFIG_FOLDER);
    // Only a recognised token changes the No-duration from one hour.
    const std::pair<const char*, DWORD> configs[] = {
        {nullptr, 3600000}, {"Setting=5mins", 3600000}, {"Setting=2hr\n", 3600000},
        {"Setting=4hr\nSetting=30mins", 1800000}};
    for (const auto& config : configs) {
        if (config.first != nullptr)
            write_bytes(CONFIG_FILE, config.first);
        load_launcher_config();
        EXPECT_EQ(config.second, launcher_no_duration()) << (config.first ? config.first : "no file");
    }

    // One reading per start, before the prompt: a change while the box is open is not seen.
    PowerRecorder recorder;
    write_bytes(CONFIG_FILE, "Setting=2hr");
    std::wstring shown;
    DialogAnswerer answerer(PROMPT_CAPTION, [&](HWND box) {
        shown = control_text(box, MESSAGE_TEXT_ID);
        write_bytes(CONFIG_FILE, "Setting=4hr");
        click(box, IDNO);
    });
    EXPECT_TRUE(start_launcher(GetModuleHandleW(nullptr)));
    EXPECT_NE(std::wstring::npos, shown.find(L"[No] 2 hours time "));
    EXPECT_EQ("Setting=2hr", read_bytes(SETTING_FILE_PATH_A));
    EXPECT_EQ(1u, recorder.requests().size());

    DeleteFileA(CONFIG_FILE);
    SetCurrentDirectoryA("C:\\");
    RemoveDirectoryA(CONFIG_FOLDER);
}

} // namespace
