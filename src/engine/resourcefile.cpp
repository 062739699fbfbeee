// "RES_FILE" resources of the program's module.
#include "engine/package.h"
#include "shell/setupapp.h"

static HINSTANCE resourceModule() { return setupApp ? setupApp->instance : moduleInstance; }

bool loadFileResource(const char* name, const BYTE** bytes, DWORD* size, HGLOBAL* handle) {
    HRSRC found = FindResourceA(resourceModule(), name, "RES_FILE");
    if (!found) return false;
    *size = SizeofResource(resourceModule(), found);
    *handle = LoadResource(resourceModule(), found);
    if (!*handle) return false;
    *bytes = static_cast<const BYTE*>(LockResource(*handle));
    return *bytes != NULL && *size != 0;
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
