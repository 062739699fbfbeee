// The application object: the whole installer state and the main window behind it.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include "common/messages.h"
#include "shell/windowobject.h"
#include "engine/package.h"
#include "resources/exitcodes.h"

// What the progress window is opened for; its caption follows.
enum ProgressMode { ProgressPackageCheck = 0, ProgressReplaceCheck = 1, ProgressUninstall = 2 };

enum {
    MSG_BEGIN_SETUP = WM_USER + 100,  // 1124
    MSG_RUN_INSTALL = WM_USER + 110,  // 1134
};

enum { kComponentCount = 7 };

// The kinds of Windows that detectOsKind tells apart, in the order of their
// release: the 9x family first (no rights, no user settings of the screen
// saver), then the NT family.
enum OsKind : LONG {
    OsWin32s = -1,
    OsWindows95 = 0,      // its first release: build 1080 and older
    OsWindows95Later = 1, // its later releases
    OsWindows98 = 2,
    OsWindowsMe = 3,      // and any later 9x
    OsWindowsNT4 = 4,     // and older NT
    OsWindows2000 = 5,    // and every later NT
};

class SetupApp : public WindowObject {
public:
    // Small members first: they sit within 128 bytes of the object's start,
    // where each access takes a one-byte offset; the buffers follow.
    LONG elapsedMs;
    bool selfDeleteOnExit;
    bool uninstallMode;
    HGLOBAL logoResource;
    const BYTE* logoBytes;
    IPicture* logoPicture;
    LONG newestFileTime;
    LONG installCompressedBytes;
    LONG installExpandedBytes;
    bool positionLocked;
    HFONT boldFont;
    bool running;
    // Started with /S: no window, no box, every message goes to the install report.
    bool unattended;
    // What the program answers at its exit (an ExitCode): any other failure
    // until a run succeeds or its first failure names its cause (noteFailure).
    int exitStatus;
    // The file of /LOG, open for the whole run; NULL without the switch.
    HANDLE runLog;
    HICON appIcon;
    // The program's own file, held from the start to the end: the checksum test
    // and the copies the program places of itself all read it (openModuleFile).
    HANDLE programFile;
    LONG osKind;  // an OsKind
    DWORD shellMajor;
    DWORD shellMinor;
    HWND progressDialog;
    LONG progressPercent;
    bool sourceRemote;
    LONG bytesInstalled;
    // The install log's length before the run put the first file in place; -1
    // when there was none, kLogUntouched (-2) before and after the run.
    LONG logLengthBefore;
    int removableCount;
    bool componentPresent[kComponentCount];
    bool componentActivate[kComponentCount];
    char progressCaption[150];
    char currentItem[MAX_PATH];
    // The program's own file by a name in the code page, empty when it has none;
    // its folder with a backslash at the end (empty then as well).
    char programPath[MAX_PATH];
    char installerDir[MAX_PATH];
    char mirrorHost[MAX_PATH];
    char mirrorPath[MAX_PATH];
    char mirrorDisplayName[MAX_PATH];
    PackageSlot packages[kComponentCount];
    // The only paths that the uninstall run deletes: the destinations that the
    // program's own update header gives.
    char removablePaths[kMaxRecords][MAX_PATH];

    explicit SetupApp(HINSTANCE module);
    ~SetupApp();

    // Start-up (setupapp.cpp)
    void startUp(const char* commandLine);
    bool handOverToRunningCopy();
    void noteInstallerFolder();
    // confirmed: the command line is the word UNINSTALL (the Apps list's entry)
    // and switches.
    bool chooseMode(const char* programPath, bool confirmed, int* showCode);
    bool createMainWindow(int showCode);
    // The switches, the exit codes and their meanings in a box.
    void showHelp();
    int exitCode() const { return exitStatus; }
    // The cause of a failed run: only the first one counts, and only until a
    // run succeeds.
    void noteFailure(int code);
    // After a failed write: a full disk is the cause.
    void noteWriteFailure();
    // Makes the run's log file new (name, or a new file in the user's temporary
    // folder for ""); false, reported, when it cannot be made or its name was cut.
    bool openRunLog(const char* name, bool cut);
    // A dated line in the run's log file, when there is one.
    void logLine(const char* text);

    // Main window and control flow (mainwindow.cpp)
    void onCreate() override;
    LRESULT command(WPARAM wParam, UINT code, LPARAM lParam) override;
    LRESULT windowMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void chooseMirrorSite();
    void requestInstall();

    // Background painting (ui/background.cpp)
    void paintBackground(HDC dc);
    bool loadLogo(int id);
    void releaseLogo();
    void releaseLogoResource();

    // Progress window (ui/progress.cpp); mode is a ProgressMode.
    void openProgress(int mode);
    bool closeProgress();
    void updateProgress();
    // The engine's operations: each shows what it sets at once (setProgressElapsed
    // with the next percentage). The bar never goes past 100.
    void setProgressPercent(LONG percent);
    void advanceProgress(LONG step);
    // While not 0, the text under the bar shows these seconds instead of the percentage.
    void setProgressElapsed(LONG ms);
    void setProgressItem(const char* text);
    void setProgressTitle(const char* text);

    // Setup wizard (ui/wizard.cpp)
    int runSetupWizard();
    void computeSelectedTotals();

    // Package check (engine/package.cpp)
    bool checkPackages();

    // Install run (engine/install.cpp)
    signed char runInstall();
    bool installPackages();
    // A failed run: every file it put in place is taken back, in the reverse
    // order, earlier files come back and the log is cut to its earlier length.
    void takeBackInstall();
    // A run that succeeded: the earlier files of those it replaced go.
    void keepInstall();

    // Install log and report (engine/installlog.cpp)
    bool appendInstallLog(const char* path);
    bool removeLoggedFiles();
    // After the last removal pass: names the log and every listed file still
    // there for deletion at the next restart; false when one could not be.
    bool leaveRemainsToRestart();
    // One removal pass over a log's content (its CRs are overwritten); the
    // content need not be terminated.
    bool removeLoggedLines(char* content, DWORD size);
    bool removeLoggedFile(const char* path);
    // True when a log line (its blanks at the end aside) is, as text and in any
    // letter case, one of removablePaths, and a plain path from a drive's root.
    bool isRemovablePath(const char* line);
    void reportNotDeleted(const char* path);
    bool appendInstallReport(const char* text);

    // Uninstall run (uninstall/uninstall.cpp)
    void runUninstall();
    // Fills removablePaths from the update header of slot 0; false (reported)
    // when the header cannot be read or lists nothing.
    bool readRemovablePaths();
};

extern SetupApp* setupApp;
extern WindowObject* mainWindowObject;
extern bool reportUndeletable;

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// What a command line asks for. A word that starts with "/" is a switch, in any
// letter case, anywhere on the line; a blank inside quotes is part of its word,
// the quotes are not.
struct CommandSwitches {
    bool unattended;     // /S, /SILENT, /VERYSILENT
    bool help;           // /?, /HELP
    bool log;            // /LOG, /LOG=file
    bool logNameCut;     // the file of /LOG= does not fit a path
    bool uninstallWord;  // the one word besides the switches is UNINSTALL
    bool otherWord;      // a word that is no switch
    char logName[MAX_PATH];  // the file of /LOG=, or "" for a new file
    char refused[64];        // the first switch not known, cut to fit; "" for none
};
void readSwitches(const char* commandLine, CommandSwitches* out);
// The arguments of a whole command line: what follows the program's name (which
// may be quoted) and the blanks after it. Bytes above 127 are letters of a name.
const char* commandArguments(const char* commandLine);
LONG detectOsKind();
LONG osKindFromVersion(const OSVERSIONINFOA& info);
void readShellVersion(DWORD* major, DWORD* minor);

// The one application object lives on the process heap; placement construction
// keeps the C++ run-time's allocation (and its exception machinery) out of the program.
SetupApp* createSetupApp(HINSTANCE module);
void destroySetupApp();
