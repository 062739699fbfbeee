// The modeless progress window shown in front of the background.
#pragma once
#include <windows.h>

INT_PTR CALLBACK progressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The text under the bar: seconds while elapsedMs is not 0, else the percentage.
void formatProgressText(char* out, size_t capacity, LONG elapsedMs, LONG percent);
