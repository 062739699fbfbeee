// The system functions that the program calls from many places, declared once
// more without the import mark of the system headers, so that every call goes
// to the import library's jump stub ("jmp [address]") and not through the
// address table itself. A call through the table is one byte longer and needs
// a base relocation of its own, which a stub needs only once: for a function
// called three times or more that is fewer bytes in all, and it keeps the
// relocations within one file block fewer. The build includes this header
// ahead of every source of the program (-include), before any call.
// Only functions already on the list of reviewed imports belong here.
#pragma once
#include <windows.h>

#ifdef __cplusplus
#pragma GCC diagnostic push
// The redeclaration is what drops the import mark; the compiler says so.
#pragma GCC diagnostic ignored "-Wattributes"
extern "C" {
// KERNEL32
WINBOOL WINAPI CloseHandle(HANDLE);
HANDLE WINAPI CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
WINBOOL WINAPI DeleteFileA(LPCSTR);
WINBOOL WINAPI FreeLibrary(HMODULE);
DWORD WINAPI GetFileAttributesA(LPCSTR);
DWORD WINAPI GetLastError(void);
FARPROC WINAPI GetProcAddress(HMODULE, LPCSTR);
HANDLE WINAPI GetProcessHeap(void);
DWORD WINAPI GetTickCount(void);
DWORD WINAPI GetVersion(void);
UINT WINAPI GetWindowsDirectoryA(LPSTR, UINT);
LPVOID WINAPI HeapAlloc(HANDLE, DWORD, SIZE_T);
WINBOOL WINAPI HeapFree(HANDLE, DWORD, LPVOID);
WINBOOL WINAPI ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
int WINAPI lstrcmpiA(LPCSTR, LPCSTR);
int WINAPI lstrlenA(LPCSTR);
// USER32
HWND WINAPI GetParent(HWND);
HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR);
WINBOOL WINAPI PostMessageA(HWND, UINT, WPARAM, LPARAM);
LRESULT WINAPI SendDlgItemMessageA(HWND, int, UINT, WPARAM, LPARAM);
WINBOOL WINAPI SetDlgItemTextA(HWND, int, LPCSTR);
WINBOOL WINAPI ShowWindow(HWND, int);
// GDI32
WINBOOL WINAPI DeleteObject(HGDIOBJ);
HGDIOBJ WINAPI SelectObject(HDC, HGDIOBJ);
// ADVAPI32
LONG WINAPI RegCloseKey(HKEY);
LONG WINAPI RegOpenKeyExA(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
}
#pragma GCC diagnostic pop
#endif
