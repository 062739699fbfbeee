// The three-page setup wizard and the licence dialog.
#pragma once
#include <windows.h>

INT_PTR CALLBACK welcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK optionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK finishPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK licenseDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Where a window of the given size lands when centred on a screen of the given size.
POINT centredPosition(int width, int height, int screenWidth, int screenHeight);
void centreOnScreen(HWND window);
void showActivateChoices(HWND page);
void readActivateChoices(HWND page);
// The summary of the Finish page for the screen saver's activation choice.
void formatFinishSummary(char* out, size_t capacity, bool activate);
