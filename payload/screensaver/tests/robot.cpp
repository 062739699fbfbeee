#include "robot.h"
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {
int failureCount = 0;
}

bool check(bool condition, const char* name, const char* detailFormat, ...) {
    printf("%s - %s", condition ? "ok" : "FAIL", name);
    if (!condition && detailFormat && *detailFormat) {
        va_list args;
        va_start(args, detailFormat);
        printf(": ");
        vprintf(detailFormat, args);
        va_end(args);
    }
    printf("\n");
    fflush(stdout);
    if (!condition) ++failureCount;
    return condition;
}

int failures() { return failureCount; }

void note(const char* format, ...) {
    va_list args;
    va_start(args, format);
    printf("# ");
    vprintf(format, args);
    printf("\n");
    va_end(args);
    fflush(stdout);
}

void pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

SaverRun startSaver(const char* saverPath, const char* arguments) {
    SaverRun run;
    ZeroMemory(&run, sizeof run);
    char command[1024];
    wsprintfA(command, "\"%s\"%s%s", saverPath, *arguments ? " " : "", arguments);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    run.started = CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                                 &run.process) != FALSE;
    if (!run.started) note("could not start %s (error %lu)", command, GetLastError());
    return run;
}

bool waitForExit(SaverRun& run, DWORD timeoutMs, DWORD* exitCode) {
    if (!run.started) return false;
    DWORD start = GetTickCount();
    while (WaitForSingleObject(run.process.hProcess, 0) == WAIT_TIMEOUT) {
        if (GetTickCount() - start >= timeoutMs) return false;
        pump(20);
    }
    if (exitCode) GetExitCodeProcess(run.process.hProcess, exitCode);
    return true;
}

void finish(SaverRun& run) {
    if (!run.started) return;
    if (WaitForSingleObject(run.process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(run.process.hProcess, 1);
        WaitForSingleObject(run.process.hProcess, 5000);
    }
    CloseHandle(run.process.hThread);
    CloseHandle(run.process.hProcess);
    run.started = false;
}

namespace {
struct WindowSearch {
    DWORD processId;
    const char* className;
    HWND owner;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM data) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(data);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    char name[64];
    if (processId != search->processId || !IsWindowVisible(window) ||
        !GetClassNameA(window, name, sizeof name) || lstrcmpiA(name, search->className) != 0)
        return TRUE;
    if (search->owner && GetWindow(window, GW_OWNER) != search->owner) return TRUE;
    search->found = window;
    return FALSE;
}
}  // namespace

HWND waitForWindow(const SaverRun& run, const char* className, DWORD timeoutMs, HWND owner) {
    if (!run.started) return NULL;
    WindowSearch search = {run.process.dwProcessId, className, owner, NULL};
    DWORD start = GetTickCount();
    for (;;) {
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found || GetTickCount() - start >= timeoutMs) return search.found;
        pump(25);
    }
}

namespace {
LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

HWND createHost(int x, int y, int clientWidth, int clientHeight) {
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = hostProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = "SaverbotHost";
    RegisterClassA(&wc);
    RECT r = {0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowA("SaverbotHost", "Display Properties", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN,
                                x, y, r.right - r.left, r.bottom - r.top, NULL, NULL, wc.hInstance, NULL);
    pump(100);
    return window;
}

int skyShare(HDC dc, const RECT& r) {
    int sky = 0, total = 0;
    for (int y = r.top + 2; y < r.bottom - 2; y += 7)
        for (int x = r.left + 2; x < r.right - 2; x += 7) {
            COLORREF c = GetPixel(dc, x, y);
            ++total;
            if (c != CLR_INVALID && GetBValue(c) > GetRValue(c) + 8) ++sky;
        }
    return total ? sky * 100 / total : 0;
}

bool runningOnWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != NULL;
}

namespace {
// Reads a small /proc file whole; they report no size, so read until the end.
DWORD readProcFile(const char* path, char* buffer, DWORD capacity) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD total = 0, got = 0;
    while (total + 1 < capacity && ReadFile(file, buffer + total, capacity - 1 - total, &got, NULL) && got > 0)
        total += got;
    CloseHandle(file);
    buffer[total] = '\0';
    return total;
}
}  // namespace

namespace {
// The fields of /proc/<pid>/stat after the command name: the state is the first.
bool readStat(DWORD pid, char* name, size_t nameCapacity, ULONGLONG* fields, int count) {
    char path[64], text[1024];
    wsprintfA(path, "Z:\\proc\\%lu\\stat", pid);
    char* open = readProcFile(path, text, sizeof text) ? strchr(text, '(') : NULL;
    char* close = open ? strrchr(text, ')') : NULL;
    if (!close) return false;
    *close = '\0';
    lstrcpynA(name, open + 1, static_cast<int>(nameCapacity));
    char* p = close + 1;
    for (int field = 0; field < count; ++field) {
        while (*p == ' ') ++p;
        fields[field] = strtoull(p, NULL, 10);
        while (*p && *p != ' ') ++p;
    }
    return true;
}

// Whether a process runs in our Wine prefix: other programs of the same name may
// run in other prefixes on the same machine.
bool samePrefix(DWORD pid) {
    char ours[MAX_PATH + 16] = "WINEPREFIX=", path[64], environment[8192];
    DWORD length = GetEnvironmentVariableA("WINEPREFIX", ours + 11, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    wsprintfA(path, "Z:\\proc\\%lu\\environ", pid);
    DWORD size = readProcFile(path, environment, sizeof environment);
    for (DWORD i = 0; i < size; i += lstrlenA(environment + i) + 1)
        if (lstrcmpA(environment + i, ours) == 0) return true;
    return false;
}
}  // namespace

DWORD findUnixProcess(const char* fileName) {
    if (!runningOnWine() || !*fileName) return 0;
    // Wine names the Unix process after the Windows program (cut to 15 characters).
    char wanted[16];
    lstrcpynA(wanted, fileName, sizeof wanted);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    DWORD newest = 0;
    ULONGLONG newestStart = 0;
    do {
        DWORD pid = strtoul(found.cFileName, NULL, 10);
        char name[32];
        ULONGLONG fields[20];
        if (pid == 0 || !readStat(pid, name, sizeof name, fields, 20) || lstrcmpA(name, wanted) != 0) continue;
        if (fields[19] >= newestStart && samePrefix(pid)) {  // field 19: start time
            newest = pid;
            newestStart = fields[19];
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return newest;
}

bool unixCpuTicks(DWORD pid, ULONGLONG* ticks) {
    char name[32];
    ULONGLONG fields[13];
    if (!pid || !readStat(pid, name, sizeof name, fields, 13)) return false;
    *ticks = fields[11] + fields[12];  // user and system time
    return true;
}
