#include "common/dynlib.h"
#include "common/paths.h"
#include "common/text.h"

namespace {
// One library: its file, its functions' names one after another (each ending
// in NUL), and the table they fill in that order. The description is
// constant; what a load finds is kept apart, in zero-filled memory.
struct LibrarySlot {
    const char* fileName;
    const char* functionNames;  // ends with an empty name
    void* table;  // a table of the header: nothing but function pointers
};
struct LibraryState {
    signed char state;  // 0 not tried yet, 1 loaded, -1 missing
    HMODULE module;
};

CommonControlsLibrary commonControls;
LzLibrary lz;
Ole32Library ole32;
OleAutomationLibrary oleAutomation;
InternetLibrary internet;
MultimediaLibrary multimedia;
CrtLibrary crt;
SecurityLibrary security;
SecurityControlLibrary securityControl;
SystemRandomLibrary systemRandom;
CryptoRandomLibrary cryptoRandom;
Wow64Library wow64;
WideFileLibrary wideFile;

// The number of names in a list that ends with an empty one.
constexpr size_t nameCount(const char* names) {
    size_t count = 0;
    for (; *names; ++count)
        while (*names++) {
        }
    return count;
}

// The table of a slot, checked while compiling: one entry per name, since the
// loader fills it name by name. A mismatch calls a function that is not
// constexpr, which stops the build (it has no body: nothing calls it at run time).
void* notOneTableEntryPerName();
constexpr void* tableFor(void* table, size_t bytes, const char* names) {
    return nameCount(names) * sizeof(FARPROC) == bytes ? table : notOneTableEntryPerName();
}

#define ZELTO_SLOT(file, names, table) {file, names, tableFor(&table, sizeof table, names)}

constexpr LibrarySlot slots[] = {
    ZELTO_SLOT("comctl32.dll", "InitCommonControls\0PropertySheetA\0", commonControls),
    ZELTO_SLOT("lz32.dll", "LZOpenFileA\0LZCopy\0LZClose\0", lz),
    ZELTO_SLOT("ole32.dll", "CreateStreamOnHGlobal\0", ole32),
    ZELTO_SLOT("oleaut32.dll", "OleLoadPicture\0", oleAutomation),
    ZELTO_SLOT("wininet.dll", "InternetGetLastResponseInfoA\0", internet),
    ZELTO_SLOT("winmm.dll", "PlaySoundA\0", multimedia),
    ZELTO_SLOT("msvcrt.dll", "srand\0rand\0localtime\0_utime\0_strdate\0_strtime\0", crt),
    // Functions of a library the program imports from, that not every system
    // has: one slot per feature, so that a missing one fails only its own.
    ZELTO_SLOT("advapi32.dll",
               "InitializeSecurityDescriptor\0SetSecurityDescriptorDacl\0InitializeAcl\0"
               "AddAccessAllowedAce\0GetAce\0",
               security),
    ZELTO_SLOT("advapi32.dll", "SetSecurityDescriptorControl\0", securityControl),
    ZELTO_SLOT("advapi32.dll", "SystemFunction036\0", systemRandom),
    ZELTO_SLOT("advapi32.dll", "CryptAcquireContextA\0CryptGenRandom\0CryptReleaseContext\0",
               cryptoRandom),
    ZELTO_SLOT("kernel32.dll", "IsWow64Process\0GetSystemWow64DirectoryA\0", wow64),
    ZELTO_SLOT("kernel32.dll", "GetModuleFileNameW\0CreateFileW\0GetShortPathNameW\0", wideFile),
};
enum {
    kCommonControls,
    kLz,
    kOle32,
    kOleAutomation,
    kInternet,
    kMultimedia,
    kCrt,
    kSecurity,
    kSecurityControl,
    kSystemRandom,
    kCryptoRandom,
    kWow64,
    kWideFile
};
LibraryState loaded[sizeof slots / sizeof slots[0]];

const char* missingForTest = NULL;

const void* tableOf(int index) {
    const LibrarySlot& slot = slots[index];
    LibraryState& found = loaded[index];
    if (found.state == 0) {
        found.state = -1;
        HMODULE module = loadSystemLibrary(slot.fileName);
        if (!module) return NULL;
        FARPROC* table = static_cast<FARPROC*>(slot.table);
        const char* name = slot.functionNames;
        for (int i = 0; *name; ++i) {
            table[i] = GetProcAddress(module, name);
            if (!table[i]) {
                FreeLibrary(module);
                return NULL;
            }
            name += lstrlenA(name) + 1;
        }
        found.module = module;
        found.state = 1;
    }
    return found.state > 0 ? slot.table : NULL;
}
}  // namespace

HMODULE loadSystemLibrary(const char* fileName) {
    if (missingForTest && findTextNoCase(missingForTest, fileName)) return NULL;
    char folder[MAX_PATH];
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder || !ensureTrailingBackslash(folder, sizeof folder) ||
        !joinPath(path, folder, fileName))
        return NULL;
    // A library that is missing, or misses one of its own, is a failure to
    // answer, never a box of the system. The altered search path takes the
    // library's own imports from the system folder as well.
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    SetErrorMode(previousMode);
    return module;
}

namespace {
// Libraries that Windows' own libraries load by name when a feature first
// needs them (themes, window composition, user profiles, the setup and
// compatibility libraries, property stores, cryptography, accessibility,
// the COM catalogue, version records). Once one is loaded, a later load by
// name takes it; one missing on this system is simply not loaded.
const char kLateLibraries[] =
    "uxtheme.dll\0userenv.dll\0setupapi.dll\0apphelp.dll\0propsys.dll\0dwmapi.dll\0"
    "cryptbase.dll\0oleacc.dll\0clbcatq.dll\0version.dll\0";
}  // namespace

void restrictLibrarySearch() {
    // Looked up, not imported: Windows 8 and later have the first; Vista and 7
    // only with the update KB2533623; XP SP1 and later the second; Windows 95
    // to 2000 neither.
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryFunction)(LPCSTR);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel) return;
    auto setDefaultDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    // LOAD_LIBRARY_SEARCH_SYSTEM32: the system folder only, for every load by
    // name and for the imports of every library loaded later.
    if (setDefaultDirectories && setDefaultDirectories(0x00000800)) return;
    auto setDllDirectory = reinterpret_cast<SetDllDirectoryFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDllDirectory) setDllDirectory("");  // the current folder leaves the search
    // The program's own folder stays first in the search here: take the late
    // libraries from the system folder before anything asks for them. They
    // stay loaded for the life of the process on purpose: freed, one would be
    // looked for by name again.
    for (const char* name = kLateLibraries; *name; name += lstrlenA(name) + 1)
        loadSystemLibrary(name);
}

void releaseSystemLibraries() {
    for (LibraryState& found : loaded) {
        if (found.module) FreeLibrary(found.module);
        found.module = NULL;
        found.state = 0;
    }
}

void setMissingLibrariesForTest(const char* names) {
    releaseSystemLibraries();
    missingForTest = names;
}

const CommonControlsLibrary* commonControlsLibrary() {
    return static_cast<const CommonControlsLibrary*>(tableOf(kCommonControls));
}
const LzLibrary* lzLibrary() { return static_cast<const LzLibrary*>(tableOf(kLz)); }
const Ole32Library* ole32Library() { return static_cast<const Ole32Library*>(tableOf(kOle32)); }
const OleAutomationLibrary* oleAutomationLibrary() {
    return static_cast<const OleAutomationLibrary*>(tableOf(kOleAutomation));
}
const InternetLibrary* internetLibrary() {
    return static_cast<const InternetLibrary*>(tableOf(kInternet));
}
HMODULE internetModule() { return loaded[kInternet].module; }
const MultimediaLibrary* multimediaLibrary() {
    return static_cast<const MultimediaLibrary*>(tableOf(kMultimedia));
}
const CrtLibrary* crtLibrary() { return static_cast<const CrtLibrary*>(tableOf(kCrt)); }
const SecurityLibrary* securityLibrary() {
    return static_cast<const SecurityLibrary*>(tableOf(kSecurity));
}
const SecurityControlLibrary* securityControlLibrary() {
    return static_cast<const SecurityControlLibrary*>(tableOf(kSecurityControl));
}
const SystemRandomLibrary* systemRandomLibrary() {
    return static_cast<const SystemRandomLibrary*>(tableOf(kSystemRandom));
}
const CryptoRandomLibrary* cryptoRandomLibrary() {
    return static_cast<const CryptoRandomLibrary*>(tableOf(kCryptoRandom));
}
const Wow64Library* wow64Library() { return static_cast<const Wow64Library*>(tableOf(kWow64)); }
const WideFileLibrary* wideFileLibrary() {
    return static_cast<const WideFileLibrary*>(tableOf(kWideFile));
}
