#include "common/paths.h"
#include "common/text.h"
#include "engine/package.h"
#include <string.h>

namespace {
char keptWindowsFolder[MAX_PATH];
int windowsFolderQueries;
}  // namespace

int findTextNoCaseN(const char* text, int m, const char* pattern) {
    int n = lstrlenA(pattern);
    if (n > m) return 0;
    if (n == 0) return 1;
    for (int i = 0; i <= m - n; ++i) {
        if (CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, text + i, n, pattern, n) ==
            CSTR_EQUAL)
            return i + 1;
    }
    return 0;
}

int findTextNoCase(const char* text, const char* pattern) {
    int n = lstrlenA(pattern);
    int m = lstrlenA(text);
    if (n > m) return 0;
    if (n == m) return lstrcmpiA(text, pattern) == 0 ? 1 : 0;
    return findTextNoCaseN(text, m, pattern);
}

bool folderOfPath(const char* path, char* out) {
    copyText(out, MAX_PATH, path);
    // A backslash in the very first place does not make a folder.
    for (int i = lstrlenA(out) - 1; i > 0; --i) {
        if (out[i] == '\\') {
            out[i + 1] = '\0';
            return true;
        }
    }
    return false;
}

bool fileExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool ensureTrailingBackslash(char* path, size_t capacity) {
    size_t n = lstrlenA(path);
    if (n > 0 && path[n - 1] == '\\') return true;
    return appendToText(path, capacity, "\\");
}

void splitLastComponent(char* path, char* last) {
    char* slash = strrchr(path, '\\');
    if (!slash) {
        last[0] = '\0';
        return;
    }
    copyText(last, MAX_PATH, slash + 1);
    *slash = '\0';
}

const char* windowsFolder() {
    if (keptWindowsFolder[0] == '\0') {
        ++windowsFolderQueries;
        UINT n = GetWindowsDirectoryA(keptWindowsFolder, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) keptWindowsFolder[0] = '\0';
        ensureTrailingBackslash(keptWindowsFolder);
    }
    return keptWindowsFolder;
}

void resetWindowsFolderForTest() {
    keptWindowsFolder[0] = '\0';
    windowsFolderQueries = 0;
}

int windowsFolderQueriesForTest() { return windowsFolderQueries; }

bool dirKindFolder(SHORT kind, char* out) {
    out[0] = '\0';
    UINT n = 0;
    bool ok = true;
    switch (kind) {
    case DirBase:
        ok = copyText(out, MAX_PATH, windowsFolder());
        break;
    case DirWindows:
    case DirCursors:
    case DirMedia:
        n = GetWindowsDirectoryA(out, MAX_PATH);
        ok = n > 0 && n < MAX_PATH;
        break;
    case DirSystem:
        n = GetSystemDirectoryA(out, MAX_PATH);
        ok = n > 0 && n < MAX_PATH;
        break;
    default:
        break;
    }
    if (kind == DirCursors || kind == DirMedia) {
        ok = ok && ensureTrailingBackslash(out) &&
             appendToText(out, MAX_PATH, kind == DirCursors ? "cursors\\" : "media\\");
    }
    ok = ok && ensureTrailingBackslash(out);
    if (!ok) out[0] = '\0';
    return ok;
}

bool joinPath(char* out, const char* folder, const char* name) {
    if (!copyText(out, MAX_PATH, folder) || !appendToText(out, MAX_PATH, name)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool tempPathFor(const FileEntry& entry, char* out, const char* otherName) {
    char name[kEntryNameSize];
    copyText(name, sizeof name, otherName ? otherName : entry.sourceName);
    if (formatText(out, MAX_PATH, "%sTemp\\%s", windowsFolder(), name)) return true;
    out[0] = '\0';
    return false;
}

bool destinationPath(const FileEntry& entry, char* out) {
    char folder[MAX_PATH];
    char name[kEntryNameSize];
    copyText(name, sizeof name, entry.destName);
    if (!dirKindFolder(entry.dirKind, folder)) {
        out[0] = '\0';
        return false;
    }
    return joinPath(out, folder, name);
}

bool clearReadOnly(const char* path) {
    if (fileExists(path)) {
        DWORD attributes = GetFileAttributesA(path);
        SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    return true;
}

bool copyFileWritable(const char* source, const char* destination) {
    clearReadOnly(destination);
    BOOL copied = CopyFileA(source, destination, FALSE);
    clearReadOnly(destination);
    return copied != FALSE;
}

bool deleteFileWritable(const char* path) {
    clearReadOnly(path);
    return DeleteFileA(path) != FALSE;
}
