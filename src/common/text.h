// Bounded text helpers: every one takes the capacity of its output buffer
// (terminator included), always terminates it, and says whether the whole text fit.
#pragma once
#include <windows.h>
#include <stddef.h>

bool copyText(char* out, size_t capacity, const char* text);
bool appendToText(char* out, size_t capacity, const char* text);
// Formats like wsprintfA (which never writes more than 1024 characters) and
// copies the result into out, cut to its capacity.
bool formatText(char* out, size_t capacity, const char* format, ...);
bool formatTextV(char* out, size_t capacity, const char* format, va_list args);
// Length of a text held in a fixed field that may lack its terminator.
size_t boundedLength(const char* text, size_t capacity);
