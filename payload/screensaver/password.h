// The screen saver password of Windows 95 and 98. The saver keeps no password of
// its own: it asks the system's password dialogs, as the display settings expect.
// On Windows NT the system locks the workstation itself and none of this applies.
#pragma once
#include <windows.h>

bool isWindows9x();
// True when the user has asked for the saver to be password protected (9x only).
bool systemPasswordInUse();
// The answer of the query for ScreenSaveUsePassword read as "in use": only an
// absent value, a DWORD 0, or the text "" or "0" leave the saver unprotected.
bool passwordFlagSet(LONG status, DWORD type, const BYTE* data, DWORD size);
// Asks for the password over the saver's window; true when it may close, which is
// also the answer when the system has no password checker.
bool verifySystemPassword(HWND saver);
// /a: the system's dialog for changing the screen saver password.
void changeSystemPassword(HWND parent);
