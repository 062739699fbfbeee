// planted: a DLL that a stranger left beside the installer under a system
// library's name. Loading it leaves a marker, its own path with ".loaded"
// appended, so a scenario can tell that the program took it. It needs nothing
// but the kernel, so that it can stand in for any library, the C run-time too.
#include <windows.h>

extern "C" BOOL WINAPI plantedEntry(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH + 8];
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    lstrcpynA(path + length, ".loaded", 8);
    HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    return TRUE;
}
