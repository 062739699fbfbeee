// Small helpers shared by the unit tests: records, files and the Windows folder.
#pragma once
#include <windows.h>
#include <string.h>
#include <string>
#include "common/paths.h"
#include "engine/package.h"

inline HeaderRecord makeRecord(const char* source, LONG uncompressed, const char* dest, LONG time,
                               LONG compressed) {
    HeaderRecord r;
    memset(&r, 0, sizeof r);
    strncpy(r.sourceName, source, sizeof r.sourceName);
    strncpy(r.destName, dest, sizeof r.destName);
    r.uncompressedSize = uncompressed;
    r.timeStamp = time;
    r.compressedSize = compressed;
    return r;
}

inline std::string windowsPath(const char* name) {
    char folder[MAX_PATH];
    GetWindowsDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\" + name;
}

inline std::string readFile(const std::string& path) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE) return "<missing>";
    std::string content;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(f, buffer, sizeof buffer, &n, NULL) && n > 0) content.append(buffer, n);
    CloseHandle(f);
    return content;
}

inline void writeFile(const std::string& path, const std::string& content) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD n = 0;
    WriteFile(f, content.data(), content.size(), &n, NULL);
    CloseHandle(f);
}

// The NT family's list of renames and deletions at the next start, as
// "name|target|" pairs (a deletion's target is empty).
inline std::string pendingRenames() {
    HKEY key;
    char list[4000] = "";
    DWORD size = sizeof list - 2;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        if (RegQueryValueExA(key, "PendingFileRenameOperations", NULL, NULL, (BYTE*)list, &size))
            size = 0;
        RegCloseKey(key);
    }
    std::string names;
    for (DWORD at = 0; at < size; at += strlen(list + at) + 1) names += list + at, names += "|";
    return names;
}
