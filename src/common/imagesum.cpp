#include "common/imagesum.h"
#include "common/paths.h"

bool imageFileIntact(HANDLE file) {
    BYTE* block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, kFileBlockSize));
    ImageSum sum;
    bool read = block != NULL && SetFilePointer(file, 0, NULL, FILE_BEGIN) == 0;
    while (read) {
        DWORD got = 0;
        read = ReadFile(file, block, kFileBlockSize, &got, NULL) != 0;
        if (!read || got == 0) break;
        sum.add(block, got);
    }
    if (block) HeapFree(GetProcessHeap(), 0, block);
    return read && sum.fieldSeen() && sum.stored() != 0 && sum.stored() == sum.checksum();
}
