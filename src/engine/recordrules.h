// The rules a record of the update header must meet for the installer to take
// it. Plain C++ with no system calls: the header writer of the build applies
// the same rules, so that a header every installation would refuse is never
// built.
#pragma once
#include "common/textcase.h"
#include <stddef.h>

enum {
    kRecordSourceField = 28,  // bytes of the packed file's name in a record
    kRecordDestField = 32,    // bytes of the installed file's name in a record
    kRecordNameCapacity = 30  // an install entry's name with its terminator
};

namespace recordrules {
inline size_t fieldLength(const char* field, size_t fieldSize) {
    size_t n = 0;
    while (n < fieldSize && field[n] != '\0') ++n;
    return n;
}

// The device names that Windows finds in every folder, with or without an extension.
inline bool isDeviceName(const char* name, size_t n) {
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$"};
    size_t stem = 0;
    while (stem < n && name[stem] != '.' && name[stem] != ' ') ++stem;
    for (const char* device : kDevices) {
        size_t length = fieldLength(device, 8);
        if (stem == length && sameTextNoCase(name, device, stem)) return true;
    }
    return stem == 4 && name[3] >= '1' && name[3] <= '9' && (sameTextNoCase(name, "COM", 3) || sameTextNoCase(name, "LPT", 3));
}
}  // namespace recordrules

// A name field fits an install entry with its terminator and names a file in
// the slot's folder: not a path, not the folder itself or its parent (names of
// dots and blanks only), not a device.
inline bool recordNameUsable(const char* field, size_t fieldSize) {
    size_t n = recordrules::fieldLength(field, fieldSize);
    if (n == 0 || n >= fieldSize || n >= kRecordNameCapacity) return false;
    bool onlyDotsAndBlanks = true;
    for (size_t i = 0; i < n; ++i) {
        char c = field[i];
        if (c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 32) return false;
        if (c != '.' && c != ' ') onlyDotsAndBlanks = false;
    }
    return !onlyDotsAndBlanks && !recordrules::isDeviceName(field, n);
}

// The first record's packed name is its installed name with the last character
// replaced (zelto.sc_ for any installed name). Both are usable fields.
inline bool firstRecordNamesMatch(const char* source, const char* dest) {
    size_t s = recordrules::fieldLength(source, kRecordSourceField);
    size_t d = recordrules::fieldLength(dest, kRecordDestField);
    if (s == 9 && sameTextNoCase(source, "zelto.sc_", 9)) return true;
    return s == d && sameTextNoCase(source, dest, s - 1);
}
