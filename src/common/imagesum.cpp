#include "common/imagesum.h"
#include <windows.h>

namespace {
// Large enough that a 10 MB file takes 160 reads, small enough for any heap.
const DWORD kBlockSize = 64 * 1024;
}  // namespace

bool imageFileIntact(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    BYTE* block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, kBlockSize));
    ImageSum sum;
    bool read = block != NULL;
    while (read) {
        DWORD got = 0;
        read = ReadFile(file, block, kBlockSize, &got, NULL) != 0;
        if (!read || got == 0) break;
        sum.add(block, got);
    }
    if (block) HeapFree(GetProcessHeap(), 0, block);
    CloseHandle(file);
    return read && sum.fieldSeen() && sum.stored() != 0 && sum.stored() == sum.checksum();
}
