// Folders that only the administrators and the system may enter, and names
// that nobody can guess ahead of the program.
#pragma once
#include <windows.h>

// A security descriptor that lets in only the administrators and the system,
// with full control passed on to every file and folder made inside, and
// nothing taken over from the parent folder. It points into itself: build it
// where it stays, and never copy it.
struct PrivateSecurity {
    SECURITY_ATTRIBUTES attributes;
    SECURITY_DESCRIPTOR descriptor;
    DWORD list[16];  // the access list: two entries, DWORD-aligned as lists must be
};
// False when the system lacks the functions to build it (Windows 9x, whose
// folders have no security).
bool buildPrivateSecurity(PrivateSecurity* security);
// True on the NT family, where files and folders have security.
bool hasFileSecurity();
// 64 bits nobody can tell ahead: the system's random source where it has one,
// mixed with the clocks, the counters and the ids of this process and thread.
ULONGLONG unguessableNumber();
