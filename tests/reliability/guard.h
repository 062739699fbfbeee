// Memory that ends at an inaccessible page, so that the first byte read or
// written past a block faults at once, and a watch that records every such
// fault even where a system function catches it (lstrlenA does).
#pragma once
#include <windows.h>
#include <stddef.h>

class GuardedArena {
public:
    // room: usable bytes before the guard page (rounded up to whole pages).
    explicit GuardedArena(size_t room = 2 * 4096);
    ~GuardedArena();
    GuardedArena(const GuardedArena&) = delete;
    GuardedArena& operator=(const GuardedArena&) = delete;

    // A block of size bytes that ends exactly where the guard page begins.
    // The bytes before it in the arena are filled with kGuardFill, so that
    // writes in front of the block show too (untouchedBefore).
    BYTE* tail(size_t size);
    // Whether the fill in front of the last tail block is intact (up to 64 bytes).
    bool untouchedBefore() const;
    size_t room() const { return room_; }
    bool ready() const { return base_ != NULL; }

    enum { kGuardFill = 0xA5 };

private:
    BYTE* base_;
    size_t room_;
    BYTE* lastTail_;
};

// Installs the watch once (a vectored handler, which sees a fault before any
// handler of the code under test, and a last-chance filter that names the
// running case before the process ends).
void installGuardWatch();
// Faults in a guard page since the program started.
LONG guardHits();
// What is running now, printed with any fault (kept by pointer: keep it alive).
void setCaseLabel(const char* label);
// Called by the last-chance filter before the process ends, to print the input.
void setCrashDump(void (*dump)());
