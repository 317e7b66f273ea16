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

namespace {

HWND launcher_window()
{
    return FindWindowW(L"KVBUTTON", L"KVButton");
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
    }
    void TearDown() override { remove_setting_folder(); }
};

TEST_F(Launcher, CancelEndsTheProgramWithZeroAndWritesNothing)
{
    PowerRecorder recorder;
    write_bytes(SETTING_FILE_PATH, "Setting=2hr\n");
    register_main_window_class(GetModuleHandleW(nullptr), shell_window_proc, IDI_APP);
    bool window_hidden = false;
    DialogAnswerer answerer(PROMPT_CAPTION, [&](HWND box) {
        HWND main = launcher_window();
        window_hidden = main != nullptr && !IsWindowVisible(main) && GetWindow(box, GW_OWNER) == main;
        click(box, IDCANCEL);
    });
    EXPECT_TRUE(start_launcher(GetModuleHandleW(nullptr)));
    EXPECT_TRUE(window_hidden) << "the prompt is owned by the hidden main window";
    EXPECT_EQ(0, run_message_loop(GetModuleHandleW(nullptr)));
    EXPECT_EQ(1, answerer.answered());
    EXPECT_EQ("Setting=2hr\n", read_bytes(SETTING_FILE_PATH));
    EXPECT_TRUE(recorder.requests().empty());
}

TEST_F(Launcher, YesRestartsAndTheLauncherWaits)
{
    PowerRecorder recorder;
    register_main_window_class(GetModuleHandleW(nullptr), shell_window_proc, IDI_APP);
    DialogAnswerer answerer(PROMPT_CAPTION, [](HWND box) { click(box, IDYES); });
    EXPECT_TRUE(start_launcher(GetModuleHandleW(nullptr)));
    EXPECT_FALSE(quit_posted()) << "after Yes the launcher waits for the restart";
    EXPECT_TRUE(IsWindow(launcher_window()));
    EXPECT_EQ("Setting=5mins", read_bytes(SETTING_FILE_PATH));
    EXPECT_EQ(1u, recorder.requests().size());
}

TEST_F(Launcher, NoWithoutFolderShowsNothingMoreAndWaits)
{
    PowerRecorder recorder;
    remove_setting_folder();
    register_main_window_class(GetModuleHandleW(nullptr), shell_window_proc, IDI_APP);
    DialogAnswerer answerer(PROMPT_CAPTION, [](HWND box) { click(box, IDNO); });
    EXPECT_TRUE(start_launcher(GetModuleHandleW(nullptr)));
    EXPECT_FALSE(quit_posted());
    EXPECT_TRUE(recorder.requests().empty());
    EXPECT_FALSE(file_exists(SETTING_FILE_PATH));
    EXPECT_EQ(1, answerer.answered());
}

TEST_F(Launcher, NoWindowMeansNoPrompt)
{
    // Without a registered class the window cannot be created.
    PowerRecorder recorder;
    DialogAnswerer answerer(PROMPT_CAPTION, [](HWND box) { click(box, IDYES); });
    EXPECT_FALSE(start_launcher(GetModuleHandleW(nullptr)));
    Sleep(300);
    EXPECT_EQ(0, answerer.answered());
    EXPECT_TRUE(recorder.requests().empty());
}

TEST_F(Launcher, ConfigurationChoosesTheNoDurationOnce)
{
    // Read from the current directory, by bare name.
    CreateDirectoryA("C:\\kvlauncher", nullptr);
    SetCurrentDirectoryA("C:\\kvlauncher");
    EXPECT_EQ(3600000u, launcher_no_duration());
    load_launcher_config(); // no file
    EXPECT_EQ(3600000u, launcher_no_duration());
    write_bytes("C:\\kvlauncher\\shutdownaftersetting.nkv", "Setting=5mins");
    load_launcher_config();
    EXPECT_EQ(3600000u, launcher_no_duration());
    write_bytes("C:\\kvlauncher\\shutdownaftersetting.nkv", "Setting=2hr\n");
    load_launcher_config();
    EXPECT_EQ(3600000u, launcher_no_duration());
    write_bytes("C:\\kvlauncher\\shutdownaftersetting.nkv", "Setting=4hr\nSetting=30mins");
    load_launcher_config();
    EXPECT_EQ(1800000u, launcher_no_duration());
    DeleteFileA("C:\\kvlauncher\\shutdownaftersetting.nkv");
    SetCurrentDirectoryA("C:\\");
    RemoveDirectoryA("C:\\kvlauncher");
}

} // namespace
