// Helpers of the test robot: checks, waiting while our own windows keep pumping,
// and starting and finding the saver under test.
#pragma once
#include <windows.h>

// Records one check; prints "ok" or "FAIL" with the name and, on failure, the detail.
bool check(bool condition, const char* name, const char* detailFormat = "", ...);
int failures();
void note(const char* format, ...);

// Handles messages of the robot's own windows (a parent in another process
// waits for them) for this long.
void pump(DWORD ms);

struct SaverRun {
    PROCESS_INFORMATION process;
    bool started;
};

// Starts the saver file with these arguments ("" for none).
SaverRun startSaver(const char* saverPath, const char* arguments);
// Waits for the saver to end; false if it still runs after timeoutMs.
bool waitForExit(SaverRun& run, DWORD timeoutMs, DWORD* exitCode = NULL);
// Ends a run that a failed check left behind, and closes its handles.
void finish(SaverRun& run);

// The first visible top-level window of the run's process with this class ("#32770"
// for dialogs), waiting up to timeoutMs. NULL if none came.
HWND waitForWindow(const SaverRun& run, const char* className, DWORD timeoutMs, HWND owner = NULL);

// A window of the robot's own: the display settings' monitor for /p, the owner for /c.
HWND createHost(int x, int y, int clientWidth, int clientHeight);
// Share (percent) of sampled pixels of a rectangle of dc that look like the saver's
// sky: clearly more blue than red, unlike the grey of the robot's windows.
int skyShare(HDC dc, const RECT& r);

bool runningOnWine();
// The Unix process that runs a Windows program of this file name in our Wine
// prefix (the newest if there are more), 0 where there is no /proc (on Windows).
DWORD findUnixProcess(const char* fileName);
// Its processor time, user and system, in Linux clock ticks of 10 ms.
bool unixCpuTicks(DWORD unixProcess, ULONGLONG* ticks);
