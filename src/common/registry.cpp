#include "common/registry.h"
#include "common/systemcalls.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/text.h"

namespace {
// The run's log names a value as the registry's own tools do: root, key, name.
void noteValueChange(const char* what, HKEY root, const char* keyPath, const char* valueName) {
    static const char kRoots[4][5] = {"HKCR", "HKCU", "HKLM", "HKU"};
    char path[2 * MAX_PATH];
    formatText(path, sizeof path, "%s\\%s\\%s",
               kRoots[(ULONG_PTR(root) - ULONG_PTR(HKEY_CLASSES_ROOT)) & 3], keyPath, valueName);
    noteChange(what, path);
}
}  // namespace

RegValueRule regValueRule(RegValueCode code) {
    // Per code from 1: the root (the low two bits: 1 the current user, 2 the
    // machine, 3 all users), 4 when the path ends in the value's name, 8 for
    // a number. Any other code: the classes root, the unnamed value, text.
    static const BYTE kRules[8] = {1, 1 | 4, 2, 2 | 4, 3, 3 | 4, 1 | 4 | 8, 2 | 4 | 8};
    BYTE rule = code >= 1 && code <= 8 ? kRules[code - 1] : 0;
    // The predefined keys are numbered from the classes root on (0x80000000 to
    // 0x80000003: the classes root, the current user, the machine, all users).
    return {reinterpret_cast<HKEY>(ULONG_PTR(HKEY_CLASSES_ROOT) + (rule & 3)), (rule & 4) != 0,
            rule & 8 ? DWORD(REG_DWORD) : DWORD(REG_SZ)};
}

HKEY splitRegistryPath(const char* fullPath, RegValueCode code, char* keyPath, char* valueName) {
    RegValueRule rule = regValueRule(code);
    copyText(keyPath, MAX_PATH, fullPath);
    valueName[0] = '\0';
    if (rule.pathEndsInValueName) splitLastComponent(keyPath, valueName);
    return rule.root;
}

bool writeRegistryValue(const char* fullPath, const void* data, RegValueCode code) {
    char keyPath[MAX_PATH] = "";
    char valueName[MAX_PATH] = "";
    // A path cut to fit would name another key: refuse it instead.
    if (lstrlenA(fullPath) >= MAX_PATH) return false;
    HKEY root = splitRegistryPath(fullPath, code, keyPath, valueName);
    HKEY key = NULL;
    if (systemCalls->RegCreateKeyA(root, keyPath, &key) != ERROR_SUCCESS) return false;
    RegValueRule rule = regValueRule(code);
    LONG result;
    if (rule.type == REG_DWORD) {
        result = systemCalls->RegSetValueExA(key, valueName, 0, REG_DWORD, static_cast<const BYTE*>(data), 4);
    } else {
        const char* text = static_cast<const char*>(data);
        result = systemCalls->RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                lstrlenA(text) + 1);
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return false;
    noteValueChange("Value written:", root, keyPath, valueName);
    return true;
}

bool formatCommandLine(char* out, size_t capacity, const char* program, const char* arguments,
                       bool alwaysQuote) {
    // A blank ends an unquoted program name (so "C:\Documents and Settings\..." would
    // start C:\Documents.exe), and the command interpreter acts on the others. A path
    // without them stays unquoted, as every earlier version wrote it.
    static const char kSpecial[] = " \t&|<>^()%!;,=";
    bool quote = alwaysQuote;
    for (const char* p = program; *p; ++p)
        for (const char* s = kSpecial; *s; ++s)
            if (*p == *s) quote = true;
    const char* q = quote ? "\"" : "";
    bool fits = arguments ? formatText(out, capacity, "%s%s%s %s", q, program, q, arguments)
                          : formatText(out, capacity, "%s%s%s", q, program, q);
    if (!fits) out[0] = '\0';
    return fits;
}

bool deleteRegistryValue(const char* keyPath, const char* valueName, bool machine) {
    HKEY root = machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    char path[MAX_PATH];
    copyText(path, sizeof path, keyPath);
    // "Key\" names the same key as "Key".
    int n = lstrlenA(path);
    if (n > 0 && path[n - 1] == '\\') path[n - 1] = '\0';
    // A value that is not there (nor its key) is deleted already; any other
    // failure, access denied above all, is one.
    HKEY key = NULL;
    LONG result = RegOpenKeyExA(root, path, 0, KEY_SET_VALUE, &key);
    if (result == ERROR_SUCCESS) {
        result = systemCalls->RegDeleteValueA(key, valueName);
        RegCloseKey(key);
        if (result == ERROR_SUCCESS) noteValueChange("Value deleted:", root, path, valueName);
    }
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}
