#include "password.h"

bool isWindows9x() {
    // The high bit of the version is set on the 95, 98 and Me family.
    return (GetVersion() & 0x80000000u) != 0;
}

bool passwordFlagSet(LONG status, DWORD type, const BYTE* data, DWORD size) {
    if (status == ERROR_FILE_NOT_FOUND) return false;  // never asked for
    // Any other answer that is not one of the two known forms asks for the
    // password: a value the saver cannot read must not let anyone in.
    if (status != ERROR_SUCCESS) return true;
    // Written as a DWORD by the display settings, as text "1" by some older tools.
    if (type == REG_DWORD && size == sizeof(DWORD)) return *reinterpret_cast<const DWORD*>(data) != 0;
    if (type == REG_SZ) {
        if (size == 0 || data[0] == '\0') return false;
        if (data[0] == '0' && (size == 1 || data[1] == '\0')) return false;
    }
    return true;
}

bool systemPasswordInUse() {
    if (!isWindows9x()) return false;
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    BYTE data[8] = {0};
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    // A value longer than the buffer answers ERROR_MORE_DATA and counts as set.
    LONG status = RegQueryValueExA(key, "ScreenSaveUsePassword", NULL, &type, data, &size);
    RegCloseKey(key);
    return passwordFlagSet(status, type, data, size > sizeof data ? sizeof data : size);
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
