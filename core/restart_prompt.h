// The one question the system asks: restart now, and power off 5 minutes or a longer,
// configured time after the machine is back up, or do nothing.
#pragma once

#include <windows.h>

enum class RestartChoice { Yes, No, Cancel };

constexpr size_t PROMPT_TEXT_SIZE = 512;
constexpr wchar_t PROMPT_CAPTION[] = L"Nuvex Kelvaro (Free Version)";

// Builds the prompt's text for the given No-duration; durations without a No line
// (0, 300000, ...) leave that line out.
void compose_restart_prompt(DWORD no_duration, wchar_t (&text)[PROMPT_TEXT_SIZE]);

// Asks the question and carries out the answer: Yes writes "5mins", No the token of the
// caller's No-duration as it stands when the answer comes, and both then force a restart
// when the setting file was written. For Yes and No, *write_status (when given) receives
// 0 (written) or 2 (not written).
RestartChoice run_restart_prompt(HWND owner, const DWORD* no_duration, int* write_status = nullptr);
