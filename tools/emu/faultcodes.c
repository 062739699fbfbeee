/* Loaded into Wine's 32-bit processes when they run under qemu-i386 (through
   LD_PRELOAD, which the binfmt_misc wrapper passes to the emulator only).

   Wine turns a Linux fault signal into a Windows exception by the processor's
   trap number that the kernel leaves in the signal context: 14 (page fault) is
   an access violation, 0 a division by zero, 3 a breakpoint. qemu-user puts -1
   there for every fault, so Wine reports each access violation as an illegal
   instruction and each division by zero as a floating-point fault, and a
   program's own exception handler never sees the code it expects.

   This library stands between Wine and the signals: it wraps sigaction, and a
   fault handler that Wine installs is called through a trampoline that first
   writes back the trap number the signal and its si_code imply. A context
   whose trap number is not -1 is left as it is.

   Built freestanding (gcc -m32 -ffreestanding, ld -m elf_i386 -shared): the
   machine that needs it may have no 32-bit C library headers or start files.
   The C library's own functions are found when the library is loaded. */

typedef void (*Handler)(int, void*, void*);

/* The glibc i386 layout of struct sigaction: the handler, a 1024-bit mask,
   the flags and the restorer. */
struct Action {
    Handler handler;
    unsigned long mask[32];
    int flags;
    void (*restorer)(void);
};

enum {
    kSigIll = 4, kSigTrap = 5, kSigBus = 7, kSigFpe = 8, kSigSegv = 11,
    kSignalCount = 65,
    kSaSigInfo = 4,
    /* si_code values */
    kSegvMapErr = 1, kSegvAccErr = 2, kSiKernel = 0x80,
    kFpeIntDiv = 1, kFpeIntOvf = 2,
    kTrapBrkpt = 1, kTrapTrace = 2,
    kBusAdrAln = 1,
    /* x86 trap numbers */
    kTrapDivide = 0, kTrapSingleStep = 1, kTrapBreakpoint = 3, kTrapOverflow = 4,
    kTrapInvalidOpcode = 6, kTrapProtection = 13, kTrapPageFault = 14, kTrapFpu = 16,
    kTrapAlignment = 17,
    /* Offsets into the i386 ucontext: uc_flags, uc_link and the 12-byte stack_t
       come before gregs; trapno is gregs[12]. */
    kTrapNoOffset = 4 + 4 + 12 + 12 * 4
};

extern int __sigaction(int, const struct Action*, struct Action*);
extern int unsetenv(const char*);

static Handler wineHandlers[kSignalCount];

static int trapFor(int signal, int code) {
    switch (signal) {
    case kSigSegv:
        return code == kSegvMapErr || code == kSegvAccErr ? kTrapPageFault : kTrapProtection;
    case kSigIll:
        return kTrapInvalidOpcode;
    case kSigFpe:
        if (code == kFpeIntDiv) return kTrapDivide;
        return code == kFpeIntOvf ? kTrapOverflow : kTrapFpu;
    case kSigTrap:
        return code == kTrapTrace ? kTrapSingleStep : kTrapBreakpoint;
    case kSigBus:
        return code == kBusAdrAln ? kTrapAlignment : kTrapPageFault;
    }
    return -1;
}

static void trampoline(int signal, void* info, void* context) {
    int* trapNo = (int*)((char*)context + kTrapNoOffset);
    if (*trapNo == -1) *trapNo = trapFor(signal, ((int*)info)[2]);
    wineHandlers[signal](signal, info, context);
}

static int isFault(int signal) {
    return signal == kSigSegv || signal == kSigIll || signal == kSigFpe || signal == kSigTrap ||
           signal == kSigBus;
}

int sigaction(int signal, const struct Action* action, struct Action* old) {
    Handler previous = signal > 0 && signal < kSignalCount ? wineHandlers[signal] : 0;
    int result;
    if (action && isFault(signal) && (action->flags & kSaSigInfo) &&
        (unsigned long)action->handler > 1) {
        struct Action wrapped = *action;
        wrapped.handler = trampoline;
        result = __sigaction(signal, &wrapped, old);
        if (result == 0) wineHandlers[signal] = action->handler;
    } else {
        result = __sigaction(signal, action, old);
        if (result == 0 && action && signal > 0 && signal < kSignalCount) wineHandlers[signal] = 0;
    }
    /* The caller sees its own handler, not the trampoline. */
    if (result == 0 && old && previous && old->handler == trampoline) old->handler = previous;
    return result;
}

/* The emulator sets LD_PRELOAD for the process it starts; the 64-bit programs
   that process starts (the Wine server, a 64-bit Wine) could not load this
   library and would warn. A 32-bit child gets it again from the emulator. */
__attribute__((constructor)) static void forgetPreload(void) { unsetenv("LD_PRELOAD"); }
