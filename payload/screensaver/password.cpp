#include "password.h"

bool isWindows9x() {
    // The high bit of the version is set on the 95, 98 and Me family.
    return (GetVersion() & 0x80000000u) != 0;
}

bool systemPasswordInUse() {
    if (!isWindows9x()) return false;
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    BYTE data[8] = {0};
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    bool inUse = false;
    if (RegQueryValueExA(key, "ScreenSaveUsePassword", NULL, &type, data, &size) == ERROR_SUCCESS) {
        // Written as a DWORD by the display settings, as text "1" by some older tools.
        if (type == REG_DWORD && size == sizeof(DWORD)) inUse = *reinterpret_cast<DWORD*>(data) != 0;
        else if (type == REG_SZ && size >= 1) inUse = data[0] != '0' && data[0] != '\0';
    }
    RegCloseKey(key);
    return inUse;
}

bool verifySystemPassword(HWND saver) {
    typedef BOOL(WINAPI * VerifyProc)(HWND);
    HMODULE library = LoadLibraryA("password.cpl");
    if (!library) return true;
    VerifyProc verify = reinterpret_cast<VerifyProc>(reinterpret_cast<void*>(GetProcAddress(library, "VerifyScreenSavePwd")));
    bool ok = verify ? verify(saver) != FALSE : true;
    FreeLibrary(library);
    return ok;
}

void changeSystemPassword(HWND parent) {
    if (!isWindows9x()) return;
    typedef DWORD(WINAPI * ChangeProc)(LPCSTR, HWND, DWORD, LPVOID);
    HMODULE library = LoadLibraryA("mpr.dll");
    if (!library) return;
    ChangeProc change = reinterpret_cast<ChangeProc>(reinterpret_cast<void*>(GetProcAddress(library, "PwdChangePasswordA")));
    if (change) change("SCRSAVE", parent && IsWindow(parent) ? parent : NULL, 0, NULL);
    FreeLibrary(library);
}
