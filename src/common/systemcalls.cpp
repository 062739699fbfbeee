#include "common/systemcalls.h"

// Link-time constants (the import stubs): the table needs no code to fill it.
const SystemCalls kSystemCalls = {
    CreateFileA,      WriteFile,        FlushFileBuffers,   SetEndOfFile,
    DeleteFileA,      MoveFileA,        MoveFileExA,        CopyFileA,
    SetFileAttributesA, CreateDirectoryA, RemoveDirectoryA, RegCreateKeyA,
    RegSetValueExA,   RegDeleteValueA,  RegDeleteKeyA,      WritePrivateProfileStringA,
};
const SystemCalls* systemCalls = &kSystemCalls;
