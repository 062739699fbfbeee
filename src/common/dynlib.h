// The system libraries beyond kernel, user interface, graphics and registry.
// Each is loaded when a feature first needs it, by its full path in the system
// folder (a DLL of the same name beside the program is never taken), and its
// functions are reached through one typed table per library. A table is
// answered only once every function in it was found; otherwise NULL, and only
// the feature that wanted the library fails.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <sys/utime.h>
#include <time.h>

struct CommonControlsLibrary {
    void(WINAPI* InitCommonControls)();
    INT_PTR(WINAPI* PropertySheetA)(LPCPROPSHEETHEADERA);
};
struct LzLibrary {
    INT(WINAPI* LZOpenFileA)(LPSTR, LPOFSTRUCT, WORD);
    LONG(WINAPI* LZCopy)(INT, INT);
    void(WINAPI* LZClose)(INT);
};
struct Ole32Library {
    HRESULT(WINAPI* CreateStreamOnHGlobal)(HGLOBAL, BOOL, LPSTREAM*);
};
struct OleAutomationLibrary {
    HRESULT(WINAPI* OleLoadPicture)(LPSTREAM, LONG, BOOL, REFIID, LPVOID*);
};
struct InternetLibrary {
    BOOL(WINAPI* InternetGetLastResponseInfoA)(LPDWORD, LPSTR, LPDWORD);
};
struct MultimediaLibrary {
    BOOL(WINAPI* PlaySoundA)(LPCSTR, HMODULE, DWORD);
};
// The C run-time of the system: time_t is 32 bits, as in its oldest versions.
struct CrtLibrary {
    void(__cdecl* srand)(unsigned int);
    int(__cdecl* rand)();
    struct tm*(__cdecl* localtime)(const time_t*);
    int(__cdecl* _utime)(const char*, struct _utimbuf*);
    char*(__cdecl* _strdate)(char*);
    char*(__cdecl* _strtime)(char*);
};

// The security functions of the NT family (there since NT 3.1; Windows 95's
// ADVAPI32 has none of them): a descriptor with a list of access entries.
struct SecurityLibrary {
    BOOL(WINAPI* InitializeSecurityDescriptor)(PSECURITY_DESCRIPTOR, DWORD);
    BOOL(WINAPI* SetSecurityDescriptorDacl)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);
    BOOL(WINAPI* InitializeAcl)(PACL, DWORD, DWORD);
    BOOL(WINAPI* AddAccessAllowedAce)(PACL, DWORD, DWORD, PSID);
    BOOL(WINAPI* GetAce)(PACL, DWORD, LPVOID*);
};
// Windows 2000 and later, which pass a parent's entries on to new objects by
// themselves unless the new descriptor is marked protected.
struct SecurityControlLibrary {
    BOOL(WINAPI* SetSecurityDescriptorControl)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                               SECURITY_DESCRIPTOR_CONTROL);
};
// The system's random source of XP and later, exported without a name of its
// own ("RtlGenRandom").
struct SystemRandomLibrary {
    BOOLEAN(WINAPI* SystemFunction036)(PVOID, ULONG);
};
// The random source of the cryptography functions (NT 4, and 95 and 98 with
// them); a provider handle is a ULONG_PTR.
struct CryptoRandomLibrary {
    BOOL(WINAPI* CryptAcquireContextA)(ULONG_PTR*, LPCSTR, LPCSTR, DWORD, DWORD);
    BOOL(WINAPI* CryptGenRandom)(ULONG_PTR, DWORD, BYTE*);
    BOOL(WINAPI* CryptReleaseContext)(ULONG_PTR, DWORD);
};

// The kernel's answers about 64-bit Windows (XP SP2 and later; Windows 95 and
// NT 4 have neither): whether a 32-bit program runs there, and the folder its
// system folder's files really are in, as a 64-bit program names it.
struct Wow64Library {
    BOOL(WINAPI* IsWow64Process)(HANDLE, PBOOL);
    UINT(WINAPI* GetSystemWow64DirectoryA)(LPSTR, UINT);
};

// The kernel's wide file functions, which only the NT family carries out (Windows
// 9x has stubs that fail): the names of files outside the ANSI code page.
struct WideFileLibrary {
    DWORD(WINAPI* GetModuleFileNameW)(HMODULE, LPWSTR, DWORD);
    HANDLE(WINAPI* CreateFileW)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                HANDLE);
    DWORD(WINAPI* GetShortPathNameW)(LPCWSTR, LPWSTR, DWORD);
};

const CommonControlsLibrary* commonControlsLibrary();
const LzLibrary* lzLibrary();
const Ole32Library* ole32Library();
const OleAutomationLibrary* oleAutomationLibrary();
const InternetLibrary* internetLibrary();
const MultimediaLibrary* multimediaLibrary();
const CrtLibrary* crtLibrary();
const SecurityLibrary* securityLibrary();
const SecurityControlLibrary* securityControlLibrary();
const SystemRandomLibrary* systemRandomLibrary();
const CryptoRandomLibrary* cryptoRandomLibrary();
const Wow64Library* wow64Library();
const WideFileLibrary* wideFileLibrary();
// The module of the internet library once internetLibrary() has loaded it, for its message texts.
HMODULE internetModule();
// A library of the system folder that the caller frees itself; NULL when it cannot be loaded.
HMODULE loadSystemLibrary(const char* fileName);
// Keeps the folder a program was started from, where anyone may have put a DLL
// (a downloads folder), out of every later search for a library by name, also
// of those that Windows' own libraries make: where the system can, the search
// is restricted to the system folder; elsewhere the current folder is left out
// and the libraries that Windows' libraries load late are loaded first, by
// their full paths. Called first thing at the entry point.
void restrictLibrarySearch();
// Frees every library loaded so far; a later request loads it again.
void releaseSystemLibraries();

// Test hook: the loader fails for each library whose file name is in the list
// (names separated by blanks, compared without case), as if it were missing;
// NULL lets every library load again.
void setMissingLibrariesForTest(const char* names);
