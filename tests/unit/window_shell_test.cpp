// The desktop window shell fed real messages: class registration, commands from the menu
// and the accelerators, the About box, closing, and the message loop's exit code. The
// launcher's resources are linked into this test program.
#include "dialog_answerer.h"
#include "resource_ids.h"
#include "window_shell.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const wchar_t ABOUT_CAPTION[] = L"About KVButton";

struct Seen {
    UINT message;
    WPARAM wparam;
};
std::vector<Seen> commands;

// Records every command, then lets the shell handle it.
LRESULT CALLBACK recording_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_COMMAND)
        commands.push_back({message, wparam});
    return shell_window_proc(window, message, wparam, lparam);
}

// A character typed with Alt held, in the form the platform's TranslateAcceleratorW
// matches against a character accelerator: Windows takes the WM_SYSCHAR the keyboard
// delivers; Wine's translator looks for the character in a WM_SYSKEYDOWN instead.
void post_alt_char(HWND window, wchar_t character)
{
    static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    PostMessageW(window, wine ? WM_SYSKEYDOWN : WM_SYSCHAR, character, 0x20000001);
}

class WindowShell : public ::testing::Test {
protected:
    void SetUp() override
    {
        commands.clear();
        register_main_window_class(GetModuleHandleW(nullptr), recording_proc, IDI_APP);
        const ShellState& shell = shell_state();
        window = CreateWindowExW(0, shell.class_name, shell.window_title, WS_OVERLAPPEDWINDOW,
                                 CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr,
                                 shell.instance, nullptr);
        ASSERT_NE(nullptr, window);
    }
    void TearDown() override { end_shell_class(); }
    HWND window = nullptr;
};

TEST_F(WindowShell, ClassCarriesTitleNameMenuIconsAndBrush)
{
    const ShellState& shell = shell_state();
    EXPECT_EQ(GetModuleHandleW(nullptr), shell.instance);
    EXPECT_STREQ(L"KVButton", shell.window_title);
    EXPECT_STREQ(L"KVBUTTON", shell.class_name);

    WNDCLASSEXW info = {};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetClassInfoExW(shell.instance, L"KVBUTTON", &info));
    EXPECT_EQ(static_cast<UINT>(CS_HREDRAW | CS_VREDRAW), info.style);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), info.hbrBackground);
    EXPECT_EQ(MAKEINTRESOURCEW(IDR_MAIN_MENU), info.lpszMenuName);
    EXPECT_EQ(LoadIconW(shell.instance, MAKEINTRESOURCEW(IDI_APP)), info.hIcon) << "the class icon asked for";
    EXPECT_EQ(LoadIconW(shell.instance, MAKEINTRESOURCEW(IDI_APP_SMALL)), info.hIconSm);
    EXPECT_EQ(LoadCursorW(nullptr, IDC_ARROW), info.hCursor);

    HMENU menu = GetMenu(window);
    ASSERT_NE(nullptr, menu) << "the class menu applies to the window";
    EXPECT_EQ(2, GetMenuItemCount(menu));
    EXPECT_EQ(static_cast<UINT>(IDM_EXIT_APP), GetMenuItemID(GetSubMenu(menu, 0), 0));
    EXPECT_EQ(static_cast<UINT>(IDM_SHOW_ABOUT), GetMenuItemID(GetSubMenu(menu, 1), 0));
    EXPECT_FALSE(IsWindowVisible(window));
}

TEST_F(WindowShell, MenuAndAcceleratorsOpenTheAboutBoxAndExitEndsTheLoop)
{
    // Each input goes in once the About box it follows has closed: while the box is open
    // its own modal loop would take the posted messages, without accelerators.
    auto next_input = [this](int answered) {
        switch (answered) {
        case 0: post_alt_char(window, L'?'); break;
        case 1: post_alt_char(window, L'/'); break;
        default:
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(999, 0), 0);
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT_APP, 0), 0);
        }
    };
    int answered = 0;
    DialogAnswerer answerer(ABOUT_CAPTION, [&](HWND about) {
        EXPECT_NE(nullptr, FindWindowExW(about, nullptr, L"Static", L"Nuvex Kelvaro"));
        EXPECT_EQ(L"OK", control_text(about, IDOK));
        click(about, IDOK);
        for (int i = 0; i < 500 && IsWindow(about); ++i)
            Sleep(10);
        EXPECT_FALSE(IsWindow(about)) << "OK closes the About box";
        next_input(answered++);
    });

    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_SHOW_ABOUT, 0), 0); // from the menu
    EXPECT_EQ(0, run_message_loop(GetModuleHandleW(nullptr)));
    EXPECT_FALSE(IsWindow(window)) << "Exit destroys the main window";
    EXPECT_EQ(3, answered) << "menu, Alt+? and Alt+/ each open the About box";

    const std::vector<WPARAM> expected = {
        MAKEWPARAM(IDM_SHOW_ABOUT, 0), MAKEWPARAM(IDM_SHOW_ABOUT, 1), MAKEWPARAM(IDM_SHOW_ABOUT, 1),
        MAKEWPARAM(999, 0), MAKEWPARAM(IDM_EXIT_APP, 0)};
    ASSERT_EQ(expected.size(), commands.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(expected[i], commands[i].wparam) << "command " << i;
}

TEST_F(WindowShell, CloseEndsTheLoopWithZero)
{
    // The loop hands back whatever code its quit carries...
    PostQuitMessage(7);
    EXPECT_EQ(7, run_message_loop(GetModuleHandleW(nullptr)));
    // ...and closing the window quits with 0.
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, run_message_loop(GetModuleHandleW(nullptr)));
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(WindowShell, AboutBoxEndsWithOkOrCancelOnly)
{
    struct Case {
        const char* name;
        int command;
        INT_PTR result;
    };
    const Case cases[] = {{"OK", IDOK, 1}, {"Escape or close", IDCANCEL, 2}};
    for (const Case& c : cases) {
        bool stayed_open = false;
        DialogAnswerer answerer(ABOUT_CAPTION, [&](HWND about) {
            SendMessageW(about, WM_COMMAND, MAKEWPARAM(1234, 0), 0);
            SendMessageW(about, WM_COMMAND, MAKEWPARAM(IDM_EXIT_APP, 0), 0);
            stayed_open = IsWindowVisible(about) != FALSE;
            SendMessageW(about, WM_COMMAND, MAKEWPARAM(c.command, 0), 0);
        });
        INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT),
                                         window, about_box_proc, 0);
        EXPECT_EQ(c.result, result) << c.name;
        EXPECT_TRUE(stayed_open) << c.name << ": other commands leave the box open";
    }
}

} // namespace
