// The one case-blind comparison of the program and of its build tools. Plain
// C++ with no system calls, so that the header writer of the build compares as
// the installer does.
#pragma once
#include <stddef.h>

// Letter case is folded a character at a time, for ASCII and the Latin-1
// letters of the ANSI code page, the same on every system: no locale decides,
// no character matches two, and a text matches only one of its own length.
inline unsigned char foldedCase(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
        return static_cast<unsigned char>(u + 32);
    return u;
}

// Equal without regard to case over the first n characters of both.
inline bool sameTextNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (foldedCase(a[i]) != foldedCase(b[i])) return false;
    return true;
}
