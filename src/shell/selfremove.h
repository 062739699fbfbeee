// Deletion of the uninstaller's own file after the program has exited.
#pragma once
#include <stddef.h>

void removeSelf();
// The batch text that deletes programPath and then itself (batchPath); false when
// it does not fit. A "%" in a path is doubled, since the command interpreter
// reads a single one as the start of a variable.
bool formatDeleteBatch(char* out, size_t capacity, const char* programPath, const char* batchPath);
