// Every call of the program that opens, writes, moves or deletes a file or a
// folder, or changes the registry or an ini file, goes through this one table,
// as the late-loaded libraries' functions go through theirs. A test puts its
// own table in the pointer's place to fail a chosen call with a chosen error
// and to record the order of the writes, moves and flushes.
#pragma once
#include <windows.h>

struct SystemCalls {
    HANDLE(WINAPI* CreateFileA)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL(WINAPI* WriteFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* FlushFileBuffers)(HANDLE);
    BOOL(WINAPI* SetEndOfFile)(HANDLE);
    BOOL(WINAPI* DeleteFileA)(LPCSTR);
    BOOL(WINAPI* MoveFileA)(LPCSTR, LPCSTR);
    BOOL(WINAPI* MoveFileExA)(LPCSTR, LPCSTR, DWORD);
    BOOL(WINAPI* CopyFileA)(LPCSTR, LPCSTR, BOOL);
    BOOL(WINAPI* SetFileAttributesA)(LPCSTR, DWORD);
    BOOL(WINAPI* CreateDirectoryA)(LPCSTR, LPSECURITY_ATTRIBUTES);
    BOOL(WINAPI* RemoveDirectoryA)(LPCSTR);
    LONG(WINAPI* RegCreateKeyA)(HKEY, LPCSTR, PHKEY);
    LONG(WINAPI* RegSetValueExA)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);
    LONG(WINAPI* RegDeleteValueA)(HKEY, LPCSTR);
    LONG(WINAPI* RegDeleteKeyA)(HKEY, LPCSTR);
    BOOL(WINAPI* WritePrivateProfileStringA)(LPCSTR, LPCSTR, LPCSTR, LPCSTR);
};

// The system's own functions.
extern const SystemCalls kSystemCalls;
// The table the program calls through: kSystemCalls unless a test set another.
extern const SystemCalls* systemCalls;
