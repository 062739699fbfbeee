// The install run: replace check, copy out of the resources, expansion, cleanup.
#pragma once
#include <windows.h>

enum { kReplaceLimitMs = 15000, kRefreshIntervalMs = 300, kWaitSliceMs = 20 };
// How long the cleanup retries a temporary copy that another program holds.
enum { kCleanupLimitMs = 5000 };

class SetupApp;
// Deletes every copy and backup of the run and its folder (ending in "\\", or
// empty for none). What cannot be deleted now is named for deletion at the next
// restart of Windows, with a line in the report; a backup that is the only copy
// of a file stays, with its folder, and the report names it.
void removeRunFolder(SetupApp* app, const char* folder);
// Names a file that will not go now for deletion at the next restart, with a
// line in the report either way; false when the system offers no such thing.
bool leaveToRestart(SetupApp* app, const char* path);

// Results of extractFileResource.
enum : UINT { ExtractNoResource = 0, ExtractWritten = 1, ExtractFailed = 710 };
// Writes the "RES_FILE" resource name to a new file at path. ExtractFailed: a file
// already there (left as it is), or the file could not be created or not written whole.
UINT extractFileResource(const char* name, const char* path);
// The length that a packed file's own header promises once expanded; for a file
// that is not packed, its size. -1 when the file cannot be read.
LONG expectedExpandedSize(const char* path);
// Milliseconds from start to now on the 32-bit tick counter, across its wrap.
inline DWORD ticksSince(DWORD start, DWORD now) { return now - start; }
// Between two passes of a retry loop: answers what the window system and other
// programs send to this thread, then sleeps kWaitSliceMs. No input is taken.
void answerBetweenPasses();
// The copy percentage, never dividing by zero and never past 100.
LONG copyPercent(LONG bytesInstalled, LONG compressedTotal);
