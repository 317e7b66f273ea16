// The system's fixed names, each spelled once: the folder the programs share, the two files
// the system keeps there, and the power service's name. Each name says its width: a narrow
// one (_A) is a string literal, from which L"" makes its wide twin (_W).
#pragma once

// Where the pending power-off lives; the folder is made by the installer, never by the
// programs. The launcher's configuration lies there too when the launcher starts there, as
// its shortcut has it.
#define SETTING_FOLDER_PATH_A "c:\\NuvexKV"
#define SETTING_FILE_NAME_A "shutdownafter.nkv"
#define SETTING_FILE_PATH_A SETTING_FOLDER_PATH_A "\\" SETTING_FILE_NAME_A
#define LAUNCHER_CONFIG_NAME_A "shutdownaftersetting.nkv"

constexpr wchar_t SETTING_FOLDER_PATH_W[] = L"" SETTING_FOLDER_PATH_A;
constexpr wchar_t SETTING_FILE_NAME_W[] = L"" SETTING_FILE_NAME_A;
constexpr wchar_t LAUNCHER_CONFIG_NAME_W[] = L"" LAUNCHER_CONFIG_NAME_A;

// Under which the service control manager knows the power service.
constexpr wchar_t SERVICE_NAME_W[] = L"Nuvex_Kelvaro_Service";
