// The one case-blind comparison of the program and of its build tools. Plain
// C++ with no system calls, so that the header writer of the build compares as
// the installer does.
#pragma once
#include <stddef.h>

// Windows compares file names by the file system's own upper-case table, the
// same for every user and one character for one, never by the user's locale
// (which would make a Turkish "i" or an ignorable character decide). Only the
// ASCII letters fold alike in every code page and on every file system; a byte
// above 127 is a different letter in each ANSI code page (0xDC and 0xFC are
// Ü and ü in the Western one, two different Greek letters in another, part of
// a double-byte character in an East Asian one), so it must match exactly.
// Our own names are ASCII; a folder name that differs only by the case of a
// non-ASCII letter counts as different, the safe answer: at worst a file stays.
inline unsigned char foldedCase(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + 32) : u;
}

// Equal without regard to case over the first n characters of both.
inline bool sameTextNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (foldedCase(a[i]) != foldedCase(b[i])) return false;
    return true;
}
