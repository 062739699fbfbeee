// The install run: replace check, copy out of the resources, expansion, cleanup.
#pragma once
#include <windows.h>

enum { kReplaceLimitMs = 15000, kRefreshIntervalMs = 300, kWaitSliceMs = 20 };
// How long the cleanup retries a temporary copy that another program holds.
enum { kCleanupLimitMs = 5000 };

class SetupApp;
// Deletes every copy of the run and its folder (ending in "\\", or empty for
// none). What cannot be deleted now is named for deletion at the next restart
// of Windows, with a line in the report.
void removeRunFolder(SetupApp* app, const char* folder);
// Names a file that will not go now for deletion at the next restart, with a
// line in the report either way; false when the system offers no such thing.
bool leaveToRestart(SetupApp* app, const char* path);

// A file is installed in two steps, so that a run that fails leaves every file
// as it found it: it is written whole beside its destination under the "new"
// name and flushed, and then put in place, the earlier file kept under the
// "old" name until the run is over. sideName gives those names (false when one
// does not fit).
bool sideName(const char* destination, bool old, char* out);
// Puts the "new" file in place, moving an earlier file to the "old" name;
// false (and the earlier file where it was) when either move fails. A folder
// in the way is never moved.
bool putInPlace(const char* destination);
// Takes back what putInPlace did for a file (placed: the new file stands
// there), and deletes a "new" file that was never put in place.
void takeBack(SetupApp* app, const char* destination, bool placed);
// The run is over and succeeded: the earlier file goes.
void keepInPlace(SetupApp* app, const char* destination);
// Clears what a run ended by force left beside a destination: an earlier file
// aside with nothing in its place comes back, everything else there goes.
void clearSideFiles(SetupApp* app, const char* destination);
// Writes the program's own file (held since the start) beside destination and
// puts it in place; the earlier file stays aside until keepInPlace.
bool placeCopyOfProgram(SetupApp* app, const char* destination);
// The install log's length, -1 when there is none; and the log cut back to such
// a length (deleted for -1). kLogUntouched: the run has not changed the log.
enum : LONG { kLogUntouched = -2 };
LONG installLogLength();
bool cutInstallLog(LONG length);
// A move of a file that reaches the disk before it answers where the system
// offers that (the NT family); a plain rename on Windows 9x.
bool moveFileDurably(const char* from, const char* to);

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
