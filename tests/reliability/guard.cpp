#include "guard.h"
#include <stdio.h>
#include <string.h>

namespace {
enum { kPage = 4096, kMaxArenas = 16 };

struct GuardRange {
    BYTE* begin;
    BYTE* end;
};
GuardRange ranges[kMaxArenas];
volatile LONG hits = 0;
const char* caseLabel = "(start-up)";
void (*crashDump)() = NULL;

bool inGuard(ULONG_PTR address) {
    for (const GuardRange& r : ranges)
        if (r.begin && address >= reinterpret_cast<ULONG_PTR>(r.begin) &&
            address < reinterpret_cast<ULONG_PTR>(r.end))
            return true;
    return false;
}

void watchRange(BYTE* begin, BYTE* end) {
    for (GuardRange& r : ranges)
        if (!r.begin) {
            r.end = end;
            r.begin = begin;
            return;
        }
}

LONG CALLBACK watchFaults(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2 &&
        inGuard(record->ExceptionInformation[1])) {
        LONG n = InterlockedIncrement(&hits);
        if (n <= 20)
            fprintf(stderr, "GUARD PAGE %s at %p (code at %p) during %s\n",
                    record->ExceptionInformation[0] ? "written" : "read",
                    reinterpret_cast<void*>(record->ExceptionInformation[1]),
                    record->ExceptionAddress, caseLabel);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI lastChance(EXCEPTION_POINTERS* info) {
    fprintf(stderr, "CRASH: exception 0x%08lx at %p during %s\n",
            info->ExceptionRecord->ExceptionCode, info->ExceptionRecord->ExceptionAddress,
            caseLabel);
    if (crashDump) crashDump();
    fflush(stdout);
    fflush(stderr);
    return EXCEPTION_EXECUTE_HANDLER;
}
}  // namespace

void installGuardWatch() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    AddVectoredExceptionHandler(1, watchFaults);
    SetUnhandledExceptionFilter(lastChance);
}

LONG guardHits() { return hits; }
void setCaseLabel(const char* label) { caseLabel = label; }
void setCrashDump(void (*dump)()) { crashDump = dump; }

GuardedArena::GuardedArena(size_t room) : base_(NULL), room_(0), lastTail_(NULL) {
    installGuardWatch();
    room_ = (room + kPage - 1) / kPage * kPage;
    // A guard page in front as well: nothing before the arena is readable either.
    BYTE* block = static_cast<BYTE*>(
        VirtualAlloc(NULL, room_ + 2 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!block) return;
    DWORD old = 0;
    if (!VirtualProtect(block, kPage, PAGE_NOACCESS, &old) ||
        !VirtualProtect(block + kPage + room_, kPage, PAGE_NOACCESS, &old)) {
        VirtualFree(block, 0, MEM_RELEASE);
        return;
    }
    base_ = block + kPage;
    watchRange(block, block + kPage);
    watchRange(base_ + room_, base_ + room_ + kPage);
}

GuardedArena::~GuardedArena() {
    if (!base_) return;
    BYTE* block = base_ - kPage;
    for (GuardRange& r : ranges)
        if (r.begin == block || r.begin == base_ + room_) r.begin = r.end = NULL;
    VirtualFree(block, 0, MEM_RELEASE);
}

BYTE* GuardedArena::tail(size_t size) {
    if (!base_ || size > room_) return NULL;
    BYTE* block = base_ + room_ - size;
    size_t front = room_ - size < 64 ? room_ - size : 64;
    memset(block - front, kGuardFill, front);
    lastTail_ = block;
    return block;
}

bool GuardedArena::untouchedBefore() const {
    if (!lastTail_) return true;
    size_t front = static_cast<size_t>(lastTail_ - base_) < 64 ? lastTail_ - base_ : 64;
    for (size_t i = 1; i <= front; ++i)
        if (lastTail_[-static_cast<ptrdiff_t>(i)] != kGuardFill) return false;
    return true;
}
