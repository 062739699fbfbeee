#include "counters.h"
#include <stdio.h>

namespace {
// One entry of Wine's GDI handle table (24 bytes); the handle of entry i is
// i | Unique << 16.
#pragma pack(push, 1)
struct GdiEntry {
    unsigned long long object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    unsigned long long userPointer;
};
#pragma pack(pop)
static_assert(sizeof(GdiEntry) == 24, "Wine's GDI handle entries are 24 bytes");
enum {
    kGdiEntries = 0x10000,
    kFirstUserHandle = 0x20,
    kLastUserHandle = 0xFFEF,
    kHandleProbeLimit = 0x8000
};

const GdiEntry* gdiTable() {
    BYTE* peb = NULL;
    __asm__("movl %%fs:0x30, %0" : "=r"(peb));
    const GdiEntry* table = *reinterpret_cast<const GdiEntry* const*>(peb + 0x94);
    if (!table) return NULL;
    // The whole table must be readable.
    MEMORY_BASIC_INFORMATION info;
    const BYTE* p = reinterpret_cast<const BYTE*>(table);
    const BYTE* end = p + sizeof(GdiEntry) * kGdiEntries;
    while (p < end) {
        if (!VirtualQuery(p, &info, sizeof info) || info.State != MEM_COMMIT ||
            (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)))
            return NULL;
        p = static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize;
    }
    return table;
}

int countGdi(const char** method, int* byType) {
    for (int i = 0; i < 16; ++i) byType[i] = 0;
    DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (n) {
        *method = "GetGuiResources";
        return static_cast<int>(n);
    }
    const GdiEntry* table = gdiTable();
    if (!table) {
        *method = "none";
        return -1;
    }
    *method = "GDI handle table, confirmed by GetObjectType";
    int count = 0;
    for (int i = 0; i < kGdiEntries; ++i) {
        if (!table[i].type) continue;
        HGDIOBJ handle =
            reinterpret_cast<HGDIOBJ>(static_cast<UINT_PTR>(i | (table[i].unique << 16)));
        DWORD type = GetObjectType(handle);
        if (!type) continue;
        ++count;
        ++byType[type & 15];
    }
    return count;
}

int countUser(const char** method) {
    DWORD n = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (n) {
        *method = "GetGuiResources";
        return static_cast<int>(n);
    }
    *method = "USER handle values probed: windows, menus, icons";
    DWORD self = GetCurrentProcessId();
    int count = 0;
    // A USER handle's low word alone names it (the high word is a generation).
    for (UINT_PTR low = kFirstUserHandle; low <= kLastUserHandle; low += 2) {
        HWND window = reinterpret_cast<HWND>(low);
        DWORD process = 0;
        if (IsWindow(window) && GetWindowThreadProcessId(window, &process) && process == self) {
            ++count;
            continue;
        }
        if (IsMenu(reinterpret_cast<HMENU>(low))) {
            ++count;
            continue;
        }
        ICONINFO info;
        if (GetIconInfo(reinterpret_cast<HICON>(low), &info)) {
            if (info.hbmColor) DeleteObject(info.hbmColor);
            if (info.hbmMask) DeleteObject(info.hbmMask);
            ++count;
        }
    }
    return count;
}

int countHandles(const char** method) {
    typedef BOOL(WINAPI * CountProc)(HANDLE, PDWORD);
    CountProc query = reinterpret_cast<CountProc>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetProcessHandleCount")));
    DWORD n = 0;
    if (query && query(GetCurrentProcess(), &n) && n) {
        *method = "GetProcessHandleCount";
        return static_cast<int>(n);
    }
    *method = "handle values probed with GetHandleInformation";
    int count = 0;
    UINT_PTR highest = 0;
    for (UINT_PTR value = 4; value < kHandleProbeLimit; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            highest = value;
        }
    }
    // Handles are given out lowest first: one near the limit means some were missed.
    if (highest > kHandleProbeLimit - 256) {
        *method = "none (handle values beyond the probed range)";
        return -1;
    }
    return count;
}
}  // namespace

ObjectCounts countObjects() {
    ObjectCounts c;
    c.gdi = countGdi(&c.gdiMethod, c.gdiByType);
    c.user = countUser(&c.userMethod);
    c.handles = countHandles(&c.handleMethod);
    return c;
}

std::string describe(const ObjectCounts& c) {
    char text[200];
    wsprintfA(text,
              "GDI %d (pens %d, brushes %d, DCs %d, palettes %d, fonts %d, bitmaps %d, "
              "regions %d, memory DCs %d), USER %d, handles %d",
              c.gdi, c.gdiByType[OBJ_PEN], c.gdiByType[OBJ_BRUSH], c.gdiByType[OBJ_DC],
              c.gdiByType[OBJ_PAL], c.gdiByType[OBJ_FONT], c.gdiByType[OBJ_BITMAP],
              c.gdiByType[OBJ_REGION], c.gdiByType[OBJ_MEMDC], c.user, c.handles);
    return text;
}
