// The install log "zelto.log" (one installed path a line) and the install
// report "zeltoInstall.txt" (dated lines), both in the Windows folder.
#include "common/dynlib.h"
#include "common/systemcalls.h"
#include "common/errors.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/text.h"
#include "common/textcase.h"
#include "engine/install.h"
#include "resources/resource.h"
#include "shell/setupapp.h"
#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace {
bool logPath(char* out) { return joinPath(out, windowsFolder(), "zelto.log"); }

// Reads a whole file opened without sharing; NULL when it cannot be had.
char* readWholeFile(HANDLE file, DWORD* size) {
    *size = GetFileSize(file, NULL);
    if (*size == INVALID_FILE_SIZE) return NULL;
    char* bytes = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, *size + 1));
    if (!bytes) return NULL;
    DWORD read = 0;
    if (*size > 0 && (!ReadFile(file, bytes, *size, &read, NULL) || read != *size)) {
        HeapFree(GetProcessHeap(), 0, bytes);
        return NULL;
    }
    bytes[*size] = '\0';
    return bytes;
}
}  // namespace

namespace {
// Whether one of the log's lines is path, in any letter case; each line is a
// path, the writer's blank and CR LF.
bool listsPath(const char* content, DWORD size, const char* path) {
    DWORD length = static_cast<DWORD>(lstrlenA(path));
    for (DWORD start = 0; start < size;) {
        DWORD end = start;
        while (end < size && content[end] != '\n') ++end;
        DWORD n = end - start;
        while (n > 0 && (content[start + n - 1] == '\r' || content[start + n - 1] == ' ')) --n;
        if (n == length && sameTextNoCase(content + start, path, length)) return true;
        start = end + 1;
    }
    return false;
}
}  // namespace

bool SetupApp::appendInstallLog(const char* path) {
    char log[MAX_PATH];
    if (!logPath(log)) return false;
    // A log that an unfinished removal named for deletion at the restart now
    // lists a new installation again: it stays.
    cancelRestartDeletion(log);
    // A last line that a power cut left without its CR LF is ended first, so
    // that the new line stands on its own (the torn one names nothing).
    bool mend = false;
    HANDLE file = systemCalls->CreateFileA(log, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD size = 0;
        char* content = readWholeFile(file, &size);
        CloseHandle(file);
        if (content) {
            bool listed = listsPath(content, size, path);
            mend = size > 0 && !(size >= 2 && content[size - 2] == '\r' && content[size - 1] == '\n');
            HeapFree(GetProcessHeap(), 0, content);
            if (listed) return true;
        }
    }
    char line[MAX_PATH + 6];
    if (!formatText(line, sizeof line, "%s%s \r\n", mend ? "\r\n" : "", path)) return false;
    file = openForAppend(log);
    if (file == INVALID_HANDLE_VALUE) return false;
    // On the disk before the file it names is put in place.
    bool ok = writeWholeText(file, line) && systemCalls->FlushFileBuffers(file);
    if (!ok) noteWriteFailure();
    CloseHandle(file);
    return ok;
}

LONG installLogLength() {
    char log[MAX_PATH];
    if (!logPath(log)) return kLogUntouched;
    HANDLE file = systemCalls->CreateFileA(log, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        // Only a log that is not there may be deleted when the run is taken back.
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? -1 : LONG(kLogUntouched);
    }
    DWORD size = GetFileSize(file, NULL);
    CloseHandle(file);
    return size > 0x7FFFFFFF ? kLogUntouched : LONG(size);
}

bool cutInstallLog(LONG length) {
    char log[MAX_PATH];
    if (!logPath(log)) return false;
    if (length < 0) return !fileExists(log) || deleteFileWritable(log);
    HANDLE file = systemCalls->CreateFileA(log, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool cut = SetFilePointer(file, length, NULL, FILE_BEGIN) == DWORD(length) && systemCalls->SetEndOfFile(file) &&
               systemCalls->FlushFileBuffers(file);
    CloseHandle(file);
    return cut;
}

bool SetupApp::removeLoggedFiles() {
    char log[MAX_PATH];
    if (!logPath(log)) return true;
    HANDLE file = systemCalls->CreateFileA(log, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    DWORD size = 0;
    char* content = NULL;
    bool noLog = false;
    if (file == INVALID_HANDLE_VALUE) {
        // A log held by another program, or closed to us, still names installed
        // files: it is no missing log.
        DWORD error = GetLastError();
        noLog = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    } else {
        content = readWholeFile(file, &size);
        CloseHandle(file);
    }

    bool allRemoved = false;
    if (noLog) {
        // Without a log (deleted, or never written) the header's own destinations
        // still name what an installation put in place: whatever of them is
        // there goes, and what stays is reported like any file in use.
        allRemoved = true;
        for (int i = 0; i < removableCount && i < kMaxRecords; ++i)
            if (isRemovablePath(removablePaths[i]) && !removeLoggedFile(removablePaths[i]))
                allRemoved = false;
    } else if (content) {
        // The log goes last, and only once every file it names is gone.
        allRemoved = removeLoggedLines(content, size) && removeLoggedFile(log);
        HeapFree(GetProcessHeap(), 0, content);
    } else if (reportUndeletable) {
        reportNotDeleted(log);
    }
    if (!allRemoved && reportUndeletable)
        showMessageById(IDS_FILES_IN_USE, MB_ICONINFORMATION, 0);
    return allRemoved;
}

namespace {
// A full path from a drive's root whose parts are names: no UNC or device path
// ("\\server", "\\.\", "\\?\"), no relative one, no empty part, no "." or ".."
// (nor any part of dots and blanks only, which Windows reads the same way), no
// second colon (a stream), no forward slash (another separator).
bool isPlainPath(const char* path) {
    char drive = path[0] | 0x20;
    if (!(drive >= 'a' && drive <= 'z' && path[1] == ':' && path[2] == '\\')) return false;
    const char* part = path + 3;
    for (;;) {
        const char* end = part;
        bool onlyDots = true;
        for (; *end && *end != '\\'; end = nextPathChar(end)) {
            if (*end == ':' || *end == '/') return false;
            if (*end != '.' && *end != ' ') onlyDots = false;
        }
        if (end == part || onlyDots) return false;
        if (!*end) return true;
        part = end + 1;
    }
}

}  // namespace

bool SetupApp::isRemovablePath(const char* line) {
    char path[MAX_PATH];
    if (!copyText(path, sizeof path, line)) return false;
    int n = lstrlenA(path);
    while (n > 0 && path[n - 1] == ' ') path[--n] = '\0';
    if (!isPlainPath(path)) return false;
    for (int i = 0; i < removableCount && i < kMaxRecords; ++i)
        if (isPlainPath(removablePaths[i]) && lstrlenA(removablePaths[i]) == n &&
            sameTextNoCase(path, removablePaths[i], static_cast<size_t>(n)))
            return true;
    return false;
}

bool SetupApp::removeLoggedLines(char* content, DWORD size) {
    bool allRemoved = true;
    DWORD start = 0;
    // One entry a line, each ended by LF (its CR before it), the last perhaps by
    // the end of the log. A line with a NUL or a CR inside it was not written by
    // this installer: it names nothing to delete.
    for (;;) {
        DWORD end = start;
        while (end < size && content[end] != '\n') ++end;
        DWORD length = end - start;
        while (length > 0 && content[start + length - 1] == '\r') --length;
        const char* line = content + start;
        bool clean = length > 0;
        for (DWORD i = 0; clean && i < length; ++i)
            if (line[i] == '\0' || line[i] == '\r') clean = false;
        // The writer's blank after the path stays (the file functions ignore it,
        // the report line shows it), unless only without it does the path fit.
        DWORD kept = length;
        if (kept >= MAX_PATH)
            while (kept > 0 && line[kept - 1] == ' ') --kept;
        if (clean && kept < MAX_PATH) {
            char path[MAX_PATH];
            memcpy(path, line, kept);
            path[kept] = '\0';
            // Only the product's own files: any other line names nothing to delete.
            if (isRemovablePath(path) && !removeLoggedFile(path)) allRemoved = false;
        }
        if (end >= size) break;
        start = end + 1;
    }
    return allRemoved;
}

bool SetupApp::removeLoggedFile(const char* path) {
    if (!fileExists(path)) return true;
    bool deleted = deleteFileWritable(path);
    if (deleted) noteChange("File removed:", path);
    if (!deleted && reportUndeletable) reportNotDeleted(path);
    return deleted;
}

void SetupApp::reportNotDeleted(const char* path) {
    char text[MAX_PATH + 32];
    formatText(text, sizeof text, "%s couldn't be deleted.", path);
    appendInstallReport(text);
}

namespace {
// One line of the report or of the run's log: date, time, text, CR and LF.
bool writeDatedLine(HANDLE file, const char* text) {
    char date[16] = "";
    char clock[16] = "";
    if (const CrtLibrary* crt = crtLibrary()) {
        crt->_strdate(date);
        crt->_strtime(clock);
    }
    // The line keeps its text whole up to 499 characters; longer texts are cut.
    char line[500 + 24];
    formatText(line, sizeof line - 2, "%s %s %s", date, clock, text);
    size_t length = lstrlenA(line);
    line[length] = '\r';
    line[length + 1] = '\n';
    line[length + 2] = '\0';
    return writeWholeText(file, line);
}
}  // namespace

bool SetupApp::appendInstallReport(const char* text) {
    logLine(text);
    char folder[MAX_PATH];
    char report[MAX_PATH];
    if (!dirKindFolder(DirWindows, folder) || !joinPath(report, folder, "zeltoInstall.txt"))
        return false;
    HANDLE file = openForAppend(report);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = writeDatedLine(file, text);
    CloseHandle(file);
    return ok;
}

void SetupApp::logLine(const char* text) {
    if (runLog) writeDatedLine(runLog, text);
}

bool SetupApp::openRunLog(const char* name, bool cut) {
    char folder[MAX_PATH] = "";
    char path[MAX_PATH];
    bool named;
    if (name[0]) {
        // A cut name would be another file's.
        named = !cut && copyText(path, sizeof path, name);
    } else {
        // A file of a name nobody used yet: GetTempFileNameA makes it.
        DWORD length = GetTempPathA(sizeof folder, folder);
        named = length > 0 && length < sizeof folder && GetTempFileNameA(folder, "Zel", 0, path);
    }
    HANDLE file = named ? systemCalls->CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, NULL)
                        : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) {
        reportErrorById(IDS_NO_LOG_FILE, name[0] ? name : folder);
        return false;
    }
    runLog = file;
    return true;
}

bool SetupApp::leaveRemainsToRestart() {
    char log[MAX_PATH];
    bool all = logPath(log) && (!fileExists(log) || leaveToRestart(this, log));
    for (int i = 0; i < removableCount && i < kMaxRecords; ++i)
        if (fileExists(removablePaths[i]) && !leaveToRestart(this, removablePaths[i])) all = false;
    return all;
}
