// Registry values: where a full path puts them, writing and deleting them.
#pragma once
#include <windows.h>
#include <stddef.h>

// Chooses root key, value-name split and value type of a full registry path.
// "KeyText" codes write the key's unnamed value; the others take the path's last
// part as the value's name. Any other code: the classes root, the unnamed value.
typedef int RegValueCode;
enum : RegValueCode {
    RegUserKeyText = 1,
    RegUserText = 2,
    RegMachineKeyText = 3,
    RegMachineText = 4,
    RegUsersKeyText = 5,
    RegUsersText = 6,
    RegUserNumber = 7,
    RegMachineNumber = 8,
};

struct RegValueRule {
    HKEY root;
    bool pathEndsInValueName;
    DWORD type;
};
RegValueRule regValueRule(RegValueCode code);

HKEY splitRegistryPath(const char* fullPath, RegValueCode code, char* keyPath, char* valueName);
// True only when the value was written (a path longer than MAX_PATH is refused,
// never cut): the settings that must not stop a run ignore the answer.
bool writeRegistryValue(const char* fullPath, const void* data, RegValueCode code);
// A command line that starts program with arguments (none when NULL): the
// program's path in double quotes when it holds a blank or a character that the
// command interpreter acts on, as it stands otherwise. Empty and false when it
// does not fit. alwaysQuote quotes any path.
bool formatCommandLine(char* out, size_t capacity, const char* program, const char* arguments,
                       bool alwaysQuote = false);
bool deleteRegistryValue(const char* keyPath, const char* valueName, bool machine);
