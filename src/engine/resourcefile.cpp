// "RES_FILE" resources of the program's module.
#include "engine/package.h"
#include "common/messages.h"

bool loadFileResource(const char* name, const BYTE** bytes, DWORD* size, HGLOBAL* handle) {
    return loadModuleResource(name, "RES_FILE", bytes, size, handle);
}

void releaseFileResource(const BYTE** bytes, HGLOBAL* handle) {
    *bytes = NULL;
    if (*handle) FreeResource(*handle);
    *handle = NULL;
}

bool fileResourceExists(const char* name) {
    const BYTE* bytes = NULL;
    DWORD size = 0;
    HGLOBAL handle = NULL;
    bool found = loadFileResource(name, &bytes, &size, &handle);
    releaseFileResource(&bytes, &handle);
    return found;
}
