#include "common/text.h"
#include <stdarg.h>
#include <string.h>

size_t boundedLength(const char* text, size_t capacity) {
    size_t n = 0;
    while (n < capacity && text[n] != '\0') ++n;
    return n;
}

bool copyText(char* out, size_t capacity, const char* text) {
    if (capacity == 0) return false;
    out[0] = '\0';
    return appendToText(out, capacity, text);
}

bool appendToText(char* out, size_t capacity, const char* text) {
    if (capacity == 0) return false;
    size_t used = boundedLength(out, capacity);
    if (used >= capacity) {  // no terminator inside the buffer: repair it
        out[capacity - 1] = '\0';
        return false;
    }
    size_t room = capacity - 1 - used;
    size_t n = lstrlenA(text);
    bool whole = n <= room;
    if (!whole) n = room;
    memcpy(out + used, text, n);
    out[used + n] = '\0';
    return whole;
}

bool formatTextV(char* out, size_t capacity, const char* format, va_list args) {
    // wvsprintfA writes at most 1024 characters and a terminator.
    char scratch[1025];
    scratch[0] = '\0';
    int n = wvsprintfA(scratch, format, args);
    scratch[sizeof scratch - 1] = '\0';
    bool whole = copyText(out, capacity, scratch);
    return whole && n >= 0 && n < 1024;
}

bool formatText(char* out, size_t capacity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    bool whole = formatTextV(out, capacity, format, args);
    va_end(args);
    return whole;
}
