// Deletion of the uninstaller's own file after the program has exited.
#pragma once
#include <stddef.h>

// Starts the batch file that deletes the program's file once it has exited; only
// for a copy the setup program placed in the Windows folder.
void removeSelf();
// The batch text that tries to delete programPath, waits between the tries with
// pingPath (none when it is empty), gives up after a bounded time and then
// deletes itself (batchPath); false when it does not fit or a path holds a "!",
// which the command interpreter expands when delayed expansion is on. A "%" in
// a path is doubled, since the interpreter reads a single one as the start of
// a variable.
bool formatDeleteBatch(char* out, size_t capacity, const char* programPath, const char* batchPath,
                       const char* pingPath);
// The path that starts the batch file: its short form (batchShortPath, empty
// when there is none), else its long one. False when that holds a "%" or a
// "!": the command interpreter expands those in its command line, quoted or
// not, and would start another file.
bool deleteBatchStartPath(char* out, size_t capacity, const char* batchPath,
                          const char* batchShortPath);
