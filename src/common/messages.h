// String-table texts and the program's message boxes (caption "Installer").
#pragma once
#include <windows.h>

enum { kTextCapacity = 260 };

void loadText(char* out, UINT id);  // out holds kTextCapacity characters
// Appends the text of id to text, which holds capacity characters (cut when full).
void appendText(char* text, UINT id, size_t capacity);
bool showMessage(const char* text, UINT iconFlags, UINT buttonFlags);
bool showMessageById(UINT id, UINT iconFlags, UINT buttonFlags);
// The Yes/No rule of showMessage, on the box's answer.
bool isYesAnswer(UINT buttonFlags, int answer);
