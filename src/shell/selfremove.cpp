// After an uninstall the program's own file is deleted by a hidden batch file
// that retries until the program has exited, then deletes itself.
#include "shell/selfremove.h"
#include "common/paths.h"
#include "common/text.h"
#include "shell/setupapp.h"
#include <string.h>

namespace {
// Copies a path with every "%" doubled, so that the command interpreter reads it as is.
bool escapePercent(char* out, size_t capacity, const char* path) {
    size_t used = 0;
    for (const char* p = path; *p; ++p) {
        size_t need = *p == '%' ? 2 : 1;
        if (used + need >= capacity) {
            out[0] = '\0';
            return false;
        }
        out[used++] = *p;
        if (*p == '%') out[used++] = '%';
    }
    out[used] = '\0';
    return true;
}
}  // namespace

bool formatDeleteBatch(char* out, size_t capacity, const char* programPath, const char* batchPath) {
    char program[2 * MAX_PATH];
    char batch[2 * MAX_PATH];
    if (!escapePercent(program, sizeof program, programPath) ||
        !escapePercent(batch, sizeof batch, batchPath)) {
        out[0] = '\0';
        return false;
    }
    if (!formatText(out, capacity, ":Repeat\r\ndel \"%s\"\r\nif exist \"%s\" goto Repeat\r\ndel \"%s\"\r\n",
                    program, program, batch)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

void removeSelf() {
    char programPath[MAX_PATH];
    if (!modulePath(moduleInstance, programPath)) return;  // a cut path would name another file
    char folder[MAX_PATH];
    folderOfPath(programPath, folder);
    if (!ensureTrailingBackslash(folder)) return;
    char batchPath[MAX_PATH];
    if (!formatText(batchPath, sizeof batchPath, "%sdelete.bat", folder)) return;
    char batchShortPath[MAX_PATH] = "";
    DWORD s = GetShortPathNameA(batchPath, batchShortPath, MAX_PATH);
    if (s == 0 || s >= MAX_PATH) batchShortPath[0] = '\0';
    if (batchShortPath[0] == '\0') copyText(batchShortPath, sizeof batchShortPath, batchPath);

    char batchText[1000];
    if (!formatDeleteBatch(batchText, sizeof batchText, programPath, batchShortPath)) return;
    HANDLE file = CreateFileA(batchShortPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD length = lstrlenA(batchText);
    DWORD written = 0;
    BOOL ok = WriteFile(file, batchText, length, &written, NULL);
    CloseHandle(file);
    if (!ok || written != length) {
        // A cut batch could loop on a wrong name; leave nothing half written behind.
        DeleteFileA(batchShortPath);
        return;
    }

    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;  // 68 bytes
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof process);
    if (CreateProcessA(NULL, batchShortPath, NULL, NULL, FALSE,
                       CREATE_SUSPENDED | IDLE_PRIORITY_CLASS, NULL, "\\", &startup, &process)) {
        SetThreadPriority(process.hThread, THREAD_PRIORITY_IDLE);
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
        SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
        CloseHandle(process.hProcess);
        ResumeThread(process.hThread);
        CloseHandle(process.hThread);
    } else {
        WinExec(batchShortPath, SW_HIDE);
    }
}
