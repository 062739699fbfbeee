// The settings dialog (/c, and the saver started without arguments).
#pragma once
#include <windows.h>

// Runs the dialog modally over owner (which may be NULL). OK stores the settings,
// Cancel drops them. Returns IDOK or IDCANCEL.
INT_PTR runSettingsDialog(HINSTANCE instance, HWND owner);
