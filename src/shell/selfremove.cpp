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

namespace {
// The command interpreter reads a batch file in the OEM code page, the program
// writes ANSI: a path goes into the batch in its OEM form, and only when that
// form reads back as the same name. Otherwise its short form is tried (what the
// file system gives as short names keeps to the OEM code page); false when
// neither names the file, since a misread name could be another file's.
bool oemPathOf(char* out, size_t capacity, const char* path) {
    char shortPath[MAX_PATH];
    const char* forms[2] = {path, shortPathOf(path, shortPath) ? shortPath : path};
    for (const char* form : forms) {
        WCHAR wide[MAX_PATH];
        WCHAR back[MAX_PATH];
        int n = MultiByteToWideChar(CP_ACP, 0, form, -1, wide, MAX_PATH);
        if (n <= 0) continue;
        // A letter the OEM code page lacks becomes a default or a look-alike:
        // the way back then gives another name.
        int m = WideCharToMultiByte(CP_OEMCP, 0, wide, -1, out, static_cast<int>(capacity), NULL,
                                    NULL);
        if (m > 0 && MultiByteToWideChar(CP_OEMCP, 0, out, -1, back, MAX_PATH) == n &&
            memcmp(wide, back, n * sizeof(WCHAR)) == 0)
            return true;
    }
    out[0] = '\0';
    return false;
}
}  // namespace

void removeSelf() {
    char programPath[MAX_PATH];
    if (!modulePath(moduleInstance, programPath)) return;  // a cut path would name another file
    char folder[MAX_PATH];
    folderOfPath(programPath, folder);
    if (!ensureTrailingBackslash(folder, sizeof folder)) return;
    char batchPath[MAX_PATH];
    if (!formatText(batchPath, sizeof batchPath, "%sdelete.bat", folder)) return;
    HANDLE file = CreateFileA(batchPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    // Only now that the file exists does it have a short form.
    char batchShortPath[MAX_PATH];
    if (!shortPathOf(batchPath, batchShortPath))
        copyText(batchShortPath, sizeof batchShortPath, batchPath);

    char programText[MAX_PATH];
    char batchText[MAX_PATH];
    char text[1000];
    bool ok = oemPathOf(programText, sizeof programText, programPath) &&
              oemPathOf(batchText, sizeof batchText, batchShortPath) &&
              formatDeleteBatch(text, sizeof text, programText, batchText);
    ok = ok && writeWholeText(file, text);
    CloseHandle(file);
    if (!ok) {
        // A cut batch could loop on a wrong name; leave nothing half written behind.
        DeleteFileA(batchPath);
        return;
    }

    // Quoted, the path stays one name: a blank cannot make it start C:\Zelto.exe
    // for "C:\Zelto & Co\delete.bat", nor an "&" end the command.
    char commandLine[MAX_PATH + 2];
    if (!formatText(commandLine, sizeof commandLine, "\"%s\"", batchShortPath)) {
        DeleteFileA(batchPath);
        return;
    }
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    static_assert(sizeof startup == 68, "the start-up record is 68 bytes");
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof process);
    if (CreateProcessA(NULL, commandLine, NULL, NULL, FALSE,
                       CREATE_SUSPENDED | IDLE_PRIORITY_CLASS, NULL, "\\", &startup, &process)) {
        SetThreadPriority(process.hThread, THREAD_PRIORITY_IDLE);
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
        SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
        CloseHandle(process.hProcess);
        ResumeThread(process.hThread);
        CloseHandle(process.hThread);
    } else {
        WinExec(commandLine, SW_HIDE);
    }
}
