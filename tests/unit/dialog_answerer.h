// Answers dialogs of this process as a person would: waits on a thread of its own for a
// dialog with the given caption, lets the test look at it, then acts on it (usually a
// click on one of its buttons). One act per dialog that appears.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class DialogAnswerer {
public:
    using Act = std::function<void(HWND dialog)>;
    DialogAnswerer(const wchar_t* caption, Act act);
    ~DialogAnswerer();
    int answered() const { return answered_; } // dialogs found and acted on

private:
    void run();
    std::wstring caption_;
    Act act_;
    std::atomic<bool> stop_{false};
    std::atomic<int> answered_{0};
    std::thread thread_;
};

// The top-level windows of this class and title that belong to this process, shown or
// not. A window of another process (a test process of the same session that is still
// ending, say) never counts.
std::vector<HWND> windows_of_this_process(const wchar_t* class_name, const wchar_t* title);

// Ends the shell's class a case registered, with this process's windows of it and the quits
// they left: the next case registers its own (a second registration is ignored).
void end_shell_class();

// The visible dialogs with this caption that belong to this process.
std::vector<HWND> dialogs_of_this_process(const wchar_t* caption);

// Clicks a button of a dialog, as the mouse would.
void click(HWND dialog, int button_id);

// The text of a dialog's control, such as a message box's message (id 0xFFFF).
std::wstring control_text(HWND dialog, int control_id);
