// After an uninstall the program's own file is deleted by a hidden batch file
// that tries for a while, then deletes itself.
#include "shell/selfremove.h"
#include "common/systemcalls.h"
#include "common/paths.h"
#include "common/text.h"
#include "engine/systemsettings.h"
#include "shell/setupapp.h"
#include <string.h>

namespace {
// Appends a path to the batch, quoted, with every "%" doubled so that the
// command interpreter reads it as is; false for a path that holds a "!".
bool appendBatchPath(char* out, size_t capacity, const char* path) {
    size_t used = boundedLength(out, capacity);
    if (used + 1 >= capacity) return false;
    out[used++] = '"';
    for (const char* p = path; *p; ++p) {
        if (*p == '!') return false;
        size_t need = *p == '%' ? 2 : 1;
        if (used + need >= capacity) return false;
        out[used++] = *p;
        if (need == 2) out[used++] = '%';
    }
    if (used + 1 >= capacity) return false;
    out[used++] = '"';
    out[used] = '\0';
    return true;
}

bool appendTry(char* out, size_t capacity, const char* programPath) {
    return appendToText(out, capacity, "del ") && appendBatchPath(out, capacity, programPath) &&
           appendToText(out, capacity, "\r\n");
}

// The waits between the tries, as ping counts: one echo a second after the
// first, so 1, 2, 4 and 8 seconds, 15 in all (as long as the uninstall itself
// waits for a file in use). Most runs need only the first: the program has
// exited by then.
const char* const kPingCounts[] = {"2", "3", "5", "9"};
}  // namespace

bool formatDeleteBatch(char* out, size_t capacity, const char* programPath, const char* batchPath,
                       const char* pingPath) {
    if (capacity == 0) return false;
    out[0] = '\0';
    bool ok = true;
    // command.com has no arithmetic: the tries are written out one by one.
    for (const char* count : kPingCounts) {
        ok = ok && appendTry(out, capacity, programPath) &&
             appendToText(out, capacity, "if not exist ") &&
             appendBatchPath(out, capacity, programPath) &&
             appendToText(out, capacity, " goto Done\r\n");
        // By its full path: a "ping" of the current folder would run first.
        if (ok && pingPath[0])
            ok = appendBatchPath(out, capacity, pingPath) && appendToText(out, capacity, " -n ") &&
                 appendToText(out, capacity, count) &&
                 appendToText(out, capacity, " 127.0.0.1 >nul\r\n");
    }
    // The last try; a file that is still held then stays where it is.
    ok = ok && appendTry(out, capacity, programPath) && appendToText(out, capacity, ":Done\r\n") &&
         appendToText(out, capacity, "del ") && appendBatchPath(out, capacity, batchPath) &&
         appendToText(out, capacity, "\r\n");
    if (!ok) out[0] = '\0';
    return ok;
}

bool deleteBatchStartPath(char* out, size_t capacity, const char* batchPath,
                          const char* batchShortPath) {
    const char* path = batchShortPath[0] ? batchShortPath : batchPath;
    bool ok = copyText(out, capacity, path);
    for (const char* p = path; ok && *p; ++p) ok = *p != '%' && *p != '!';
    if (!ok) out[0] = '\0';
    return ok;
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

// ping.exe, which waits between the tries: in the system folder on the NT
// family, in the Windows folder on 9x (where it comes with the network
// protocol). Empty when there is none: the tries then follow one another.
void findPing(char* out) {
    char folder[MAX_PATH];
    const SHORT kinds[2] = {DirSystem, DirWindows};
    for (SHORT kind : kinds)
        if (dirKindFolder(kind, folder) && joinPath(out, folder, "ping.exe") && fileExists(out))
            return;
    out[0] = '\0';
}

// Writes the batch text into the open file; false when it could not be made whole.
bool writeDeleteBatch(HANDLE file, const char* programPath, const char* batchPath) {
    char programText[MAX_PATH];
    char batchText[MAX_PATH];
    char pingPath[MAX_PATH];
    char pingText[MAX_PATH];
    findPing(pingPath);
    pingText[0] = '\0';
    if (!oemPathOf(programText, sizeof programText, programPath) ||
        !oemPathOf(batchText, sizeof batchText, batchPath) ||
        (pingPath[0] && !oemPathOf(pingText, sizeof pingText, pingPath)))
        return false;
    const size_t kTextSize = 2000;
    char* text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kTextSize));
    if (!text) return false;
    bool ok = formatDeleteBatch(text, kTextSize, programText, batchText, pingText) &&
              writeWholeText(file, text);
    HeapFree(GetProcessHeap(), 0, text);
    return ok;
}

// Creates the batch file under a name of this run's own: "delete.bat", or
// "delete1.bat" to "delete9.bat" when that is taken (by a file of the user's,
// say), so that no file already there is ever overwritten or deleted.
HANDLE createDeleteBatch(const char* folder, char* batchPath) {
    for (int i = 0; i < 10; ++i) {
        if (!formatText(batchPath, MAX_PATH, i ? "%sdelete%d.bat" : "%sdelete.bat", folder, i))
            break;
        HANDLE file = systemCalls->CreateFileA(batchPath, GENERIC_WRITE, 0, NULL, CREATE_NEW,
                                  FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) return file;
    }
    batchPath[0] = '\0';
    return INVALID_HANDLE_VALUE;
}
}  // namespace

void removeSelf() {
    char programPath[MAX_PATH];
    // A cut path would name another file; and only the Windows folder's copies
    // ever remove themselves, whoever asked for it.
    if (!modulePath(moduleInstance, programPath) || !isWindowsFolderCopy(programPath)) return;
    char folder[MAX_PATH];
    folderOfPath(programPath, folder);
    if (!ensureTrailingBackslash(folder, sizeof folder)) return;
    char batchPath[MAX_PATH];
    HANDLE file = createDeleteBatch(folder, batchPath);
    if (file == INVALID_HANDLE_VALUE) return;
    // Only now that the file exists does it have a short form.
    char batchShortPath[MAX_PATH];
    shortPathOf(batchPath, batchShortPath);
    char startPath[MAX_PATH];
    bool ok = deleteBatchStartPath(startPath, sizeof startPath, batchPath, batchShortPath) &&
              writeDeleteBatch(file, programPath, startPath);
    CloseHandle(file);
    // Quoted, the path stays one name: a blank cannot make it start C:\Zelto.exe
    // for "C:\Zelto & Co\delete.bat", nor an "&" end the command.
    char commandLine[MAX_PATH + 2];
    if (!ok || !formatText(commandLine, sizeof commandLine, "\"%s\"", startPath)) {
        // A cut batch could loop on a wrong name, and one that cannot be started
        // safely is not started: leave nothing of it behind; the program stays.
        systemCalls->DeleteFileA(batchPath);
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
