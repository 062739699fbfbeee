#include "common/paths.h"
#include "common/systemcalls.h"
#include "common/dynlib.h"
#include "common/text.h"
#include "common/textcase.h"
#include <string.h>

namespace {
char keptWindowsFolder[MAX_PATH];
int windowsFolderQueries;
UINT pathCodePage;  // CP_ACP, the system's, unless a test sets another
}  // namespace

const char* nextPathChar(const char* p) {
    // A lead byte before the terminator takes its trail byte along, which in the
    // double-byte code pages (932, 936, 949, 950) may be the byte of "\\".
    return p + (IsDBCSLeadByteEx(pathCodePage, static_cast<BYTE>(*p)) && p[1] ? 2 : 1);
}

const char* lastBackslash(const char* path) {
    const char* found = NULL;
    for (; *path; path = nextPathChar(path))
        if (*path == '\\') found = path;
    return found;
}

void setPathCodePageForTest(UINT codePage) { pathCodePage = codePage; }

int findTextNoCaseN(const char* text, int m, const char* pattern) {
    int n = lstrlenA(pattern);
    if (n > m) return 0;
    if (n == 0) return 1;
    for (int i = 0; i <= m - n; ++i)
        if (sameTextNoCase(text + i, pattern, n)) return i + 1;
    return 0;
}

int findTextNoCase(const char* text, const char* pattern) {
    return findTextNoCaseN(text, lstrlenA(text), pattern);
}

bool folderOfPath(const char* path, char* out) {
    // A backslash in the very first place does not make a folder.
    const char* last = lastBackslash(path);
    int slash = last ? int(last - path) : 0;
    if (slash <= 0) {
        copyText(out, MAX_PATH, path);
        return false;
    }
    // The folder keeps its backslash; one that does not fit is not cut into
    // the name of one of its ancestors.
    if (slash + 1 >= MAX_PATH) {
        out[0] = '\0';
        return false;
    }
    memcpy(out, path, slash + 1);
    out[slash + 1] = '\0';
    return true;
}

bool fileExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool ensureTrailingBackslash(char* path, size_t capacity) {
    const char* last = lastBackslash(path);
    if (last && !last[1]) return true;
    return appendToText(path, capacity, "\\");
}

bool splitLastComponent(char* path, char* last) {
    char* slash = const_cast<char*>(lastBackslash(path));
    last[0] = '\0';
    if (!slash || lstrlenA(slash + 1) >= MAX_PATH) return false;
    copyText(last, MAX_PATH, slash + 1);
    *slash = '\0';
    return true;
}

const char* windowsFolder() {
    if (keptWindowsFolder[0] == '\0') {
        ++windowsFolderQueries;
        UINT n = GetWindowsDirectoryA(keptWindowsFolder, MAX_PATH);
        // Without a Windows folder the text stays empty, and every path built
        // on it is refused (an empty folder would name the current folder).
        if (n == 0 || n >= MAX_PATH ||
            !ensureTrailingBackslash(keptWindowsFolder, sizeof keptWindowsFolder))
            keptWindowsFolder[0] = '\0';
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
        ok = copyText(out, MAX_PATH, windowsFolder()) && out[0] != '\0';
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
        // No folder of its own: the lone backslash, the root of the current
        // drive, which is never a place to install into.
        copyText(out, MAX_PATH, "\\");
        return false;
    }
    if (kind == DirCursors || kind == DirMedia) {
        ok = ok && ensureTrailingBackslash(out, MAX_PATH) &&
             appendToText(out, MAX_PATH, kind == DirCursors ? "cursors\\" : "media\\");
    }
    ok = ok && ensureTrailingBackslash(out, MAX_PATH);
    if (!ok) out[0] = '\0';
    return ok;
}

bool joinPath(char* out, const char* folder, const char* name) {
    if (folder[0] == '\0' || !copyText(out, MAX_PATH, folder) ||
        !appendToText(out, MAX_PATH, name)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool modulePath(HINSTANCE module, char* out) {
    DWORD n = GetModuleFileNameA(module, out, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return true;
    out[0] = '\0';
    return false;
}

namespace {
// The name in the ANSI code page that leads back to exactly the wide one, into
// a MAX_PATH buffer; empty and false when a character has no place in the code
// page (a conversion that puts "?" or a look-alike letter for it names another
// file, or none).
bool exactAnsiName(const WCHAR* name, char* out) {
    WCHAR back[MAX_PATH];
    if (WideCharToMultiByte(CP_ACP, 0, name, -1, out, MAX_PATH, NULL, NULL) > 0 &&
        MultiByteToWideChar(CP_ACP, 0, out, -1, back, MAX_PATH) > 0)
        for (int i = 0; back[i] == name[i]; ++i)
            if (!back[i]) return true;
    out[0] = '\0';
    return false;
}
}  // namespace

HANDLE openModuleFile(HINSTANCE module, char* path) {
    path[0] = '\0';
    WCHAR name[MAX_PATH];
    WCHAR shortName[MAX_PATH];
    const WideFileLibrary* wide = wideFileLibrary();
    DWORD n = wide ? wide->GetModuleFileNameW(module, name, MAX_PATH) : 0;
    if (n == 0 || n >= MAX_PATH) {
        // Windows 9x: its file names are all in the code page.
        if (!modulePath(module, path)) return INVALID_HANDLE_VALUE;
        return systemCalls->CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    }
    if (!exactAnsiName(name, path)) {
        n = wide->GetShortPathNameW(name, shortName, MAX_PATH);
        if (n > 0 && n < MAX_PATH) exactAnsiName(shortName, path);
    }
    return wide->CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
}

bool readOpenFile(HANDLE file, bool (*take)(void* context, const BYTE* bytes, DWORD count),
                  void* context) {
    BYTE* block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, kFileBlockSize));
    bool ok = block && SetFilePointer(file, 0, NULL, FILE_BEGIN) == 0;
    for (DWORD got = 1; ok && got;)
        ok = ReadFile(file, block, kFileBlockSize, &got, NULL) && take(context, block, got);
    if (block) HeapFree(GetProcessHeap(), 0, block);
    return ok;
}

namespace {
// A full disk writes less than asked, which counts as failure.
bool writeBlock(void* target, const BYTE* bytes, DWORD count) {
    DWORD written = 0;
    return systemCalls->WriteFile(target, bytes, count, &written, NULL) && written == count;
}
}  // namespace

bool copyOpenFile(HANDLE source, const char* destination) {
    clearReadOnly(destination);
    HANDLE target = systemCalls->CreateFileA(destination, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    if (target == INVALID_HANDLE_VALUE) return false;
    // The copy is on the disk before anything relies on it.
    bool ok = readOpenFile(source, writeBlock, target) && systemCalls->FlushFileBuffers(target);
    // What the failed write says (a full disk) is kept for the caller.
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (!CloseHandle(target) && ok) {
        ok = false;
        error = GetLastError();
    }
    // A cut copy must not stay.
    if (!ok) {
        systemCalls->DeleteFileA(destination);
        SetLastError(error);
    }
    return ok;
}

bool clearReadOnly(const char* path) {
    if (fileExists(path)) {
        DWORD attributes = GetFileAttributesA(path);
        systemCalls->SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    return true;
}

bool copyFileWritable(const char* source, const char* destination) {
    clearReadOnly(destination);
    BOOL copied = systemCalls->CopyFileA(source, destination, FALSE);
    clearReadOnly(destination);
    return copied != FALSE;
}

bool deleteFileWritable(const char* path) {
    clearReadOnly(path);
    return systemCalls->DeleteFileA(path) != FALSE;
}

HANDLE openForAppend(const char* path) {
    HANDLE file = systemCalls->CreateFileA(path, GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file != INVALID_HANDLE_VALUE) SetFilePointer(file, 0, NULL, FILE_END);
    return file;
}

bool writeWholeText(HANDLE file, const char* text) {
    DWORD length = lstrlenA(text);
    DWORD written = 0;
    return systemCalls->WriteFile(file, text, length, &written, NULL) && written == length;
}

bool shortPathOf(const char* path, char* out) {
    DWORD n = GetShortPathNameA(path, out, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return true;
    out[0] = '\0';
    return false;
}

bool editWininitDeletes(const char* iniPath, const char* shortPath, bool add) {
    // Every entry of the section has the key "NUL", which the profile functions
    // would let only one of keep: the section is read and written whole. A
    // section that does not fit the buffer is left as it is (a cut one would
    // lose another program's entries).
    char section[3000];
    DWORD used = GetPrivateProfileSectionA("rename", section, sizeof section, iniPath);
    if (used >= sizeof section - 2) return false;
    char line[MAX_PATH + 8];
    if (!formatText(line, sizeof line, "NUL=%s", shortPath)) return false;
    // The entries other than this file's, moved up in place; then this one.
    DWORD kept = 0;
    for (DWORD at = 0; at < used && section[at];) {
        DWORD length = lstrlenA(section + at) + 1;
        if (lstrcmpiA(section + at, line) != 0) {
            for (DWORD i = 0; i < length; ++i) section[kept + i] = section[at + i];
            kept += length;
        }
        at += length;
    }
    DWORD length = lstrlenA(line) + 1;
    if (add) {
        // The new line, its terminator and the section's closing terminator.
        if (kept + length + 1 > sizeof section) return false;
        memcpy(section + kept, line, length);
        kept += length;
    }
    section[kept] = '\0';
    return WritePrivateProfileSectionA("rename", section, iniPath) != FALSE;
}

namespace {
const char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";

// Takes the pairs "\??\path" and "" (a deletion of path) out of the NT family's
// list of what the next start does; every other pair stays in its order.
bool dropPendingDeletion(HKEY key, const char* path) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, kPendingValue, NULL, &type, NULL, &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ)
        return true;  // nothing pending
    // Two more terminators: a list cut or unterminated still ends there.
    char* list = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size + 2));
    if (!list) return false;
    bool ok = RegQueryValueExA(key, kPendingValue, NULL, &type, reinterpret_cast<BYTE*>(list),
                               &size) == ERROR_SUCCESS;
    list[size] = list[size + 1] = '\0';
    DWORD kept = 0;
    bool changed = false;
    for (DWORD at = 0; ok && at < size && list[at];) {
        DWORD sourceLength = lstrlenA(list + at) + 1;
        DWORD pairLength = sourceLength + lstrlenA(list + at + sourceLength) + 1;
        const char* source = list + at;
        if (source[0] == '\\' && source[1] == '?' && source[2] == '?' && source[3] == '\\') source += 4;
        if (list[at + sourceLength] == '\0' && lstrcmpiA(source, path) == 0) {
            changed = true;
        } else {
            for (DWORD i = 0; i < pairLength; ++i) list[kept + i] = list[at + i];
            kept += pairLength;
        }
        at += pairLength;
    }
    list[kept] = '\0';
    if (ok && changed)
        ok = (kept ? systemCalls->RegSetValueExA(key, kPendingValue, 0, REG_MULTI_SZ,
                                    reinterpret_cast<const BYTE*>(list), kept + 1)
                   : systemCalls->RegDeleteValueA(key, kPendingValue)) == ERROR_SUCCESS;
    HeapFree(GetProcessHeap(), 0, list);
    return ok;
}
}  // namespace

bool cancelRestartDeletion(const char* path) {
    bool ok = true;
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      &key) == ERROR_SUCCESS) {
        ok = dropPendingDeletion(key, path);
        RegCloseKey(key);
    }
    char shortPath[MAX_PATH];
    char iniPath[MAX_PATH];
    if ((GetVersion() & 0x80000000u) && shortPathOf(path, shortPath) &&
        joinPath(iniPath, windowsFolder(), "wininit.ini") && fileExists(iniPath))
        ok = editWininitDeletes(iniPath, shortPath, false) && ok;
    return ok;
}

bool deleteAtRestart(const char* path) {
    // A folder is named without the backslash at its end.
    char named[MAX_PATH];
    if (!copyText(named, sizeof named, path)) return false;
    char* slash = const_cast<char*>(lastBackslash(named));
    if (slash && slash > named && !slash[1]) *slash = '\0';
    // The NT family deletes a file or an empty folder named so early in its
    // next start; it needs the rights to write the machine's settings.
    if (systemCalls->MoveFileExA(named, NULL, MOVEFILE_DELAY_UNTIL_REBOOT)) return true;
    if (!(GetVersion() & 0x80000000u)) return false;
    // Windows 9x has no such call: its start-up program WININIT.EXE carries out
    // the [rename] section of "wininit.ini" in the Windows folder, where
    // "NUL=file" deletes the file. It reads short names only.
    char shortPath[MAX_PATH];
    char iniPath[MAX_PATH];
    return shortPathOf(named, shortPath) && joinPath(iniPath, windowsFolder(), "wininit.ini") &&
           editWininitDeletes(iniPath, shortPath, true);
}
