// Resource numbers of the two desktop programs, shared by their resource scripts and
// their code. Each resource type has its own numbering, so 103 and 109 name several.
#pragma once

// Strings: the main window's title and class name
#define IDS_WINDOW_TITLE 103
#define IDS_WINDOW_CLASS 109

// Menu bar and accelerator table of the main window class
#define IDR_MAIN_MENU 109
#define IDR_MAIN_ACCEL 109

// The About box
#define IDD_ABOUT 103

// Icons: the application icon and its small form (one picture for both)
#define IDI_APP 107
#define IDI_APP_SMALL 108

// Commands of the menu and the accelerators
#define IDM_SHOW_ABOUT 104
#define IDM_EXIT_APP 105
