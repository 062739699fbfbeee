// The application object: the whole installer state and the main window behind it.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include "shell/windowobject.h"
#include "engine/package.h"

enum {
    MSG_BEGIN_SETUP = WM_USER + 100,  // 1124
    MSG_RUN_INSTALL = WM_USER + 110,  // 1134
};

enum { kComponentCount = 7 };

class SetupApp : public WindowObject {
public:
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
    HICON appIcon;
    LONG osKind;
    DWORD shellMajor;
    DWORD shellMinor;
    HWND progressDialog;
    char progressCaption[150];
    char currentItem[MAX_PATH];
    LONG progressPercent;
    bool sourceRemote;
    char installerDir[MAX_PATH];
    char mirrorHost[MAX_PATH];
    char mirrorPath[MAX_PATH];
    char mirrorDisplayName[MAX_PATH];
    LONG bytesInstalled;
    bool componentPresent[kComponentCount];
    bool componentActivate[kComponentCount];
    PackageSlot packages[kComponentCount];

    explicit SetupApp(HINSTANCE module);
    ~SetupApp();

    // Start-up (setupapp.cpp)
    void startUp(const char* commandLine);

    // Main window and control flow (mainwindow.cpp)
    void onCreate() override;
    LRESULT command(WPARAM wParam, UINT code, LPARAM lParam) override;
    LRESULT windowMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void chooseMirrorSite();
    void requestInstall();

    // Background painting (ui/background.cpp)
    void paintBackground(HDC dc);
    void repaintBackground(bool erase);
    bool loadLogo(int id);
    void releaseLogo();
    void releaseLogoResource();

    // Progress window (ui/progress.cpp)
    void openProgress(int mode);
    bool closeProgress();
    void updateProgress();
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

    // Install log and report (engine/installlog.cpp)
    bool appendInstallLog(const char* path);
    bool removeLoggedFiles();
    // One removal pass over a log's content (its CRs are overwritten); the
    // content need not be terminated.
    bool removeLoggedLines(char* content, DWORD size);
    bool removeLoggedFile(const char* path);
    void reportNotDeleted(const char* path);
    bool appendInstallReport(const char* text);

    // Uninstall run (uninstall/uninstall.cpp)
    void runUninstall();
};

extern SetupApp* setupApp;
extern WindowObject* mainWindowObject;
extern HINSTANCE moduleInstance;
extern bool reportUndeletable;

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LONG detectOsKind();
LONG osKindFromVersion(const OSVERSIONINFOA& info);
void readShellVersion(DWORD* major, DWORD* minor);

// The one application object lives on the process heap; placement construction
// keeps the C++ run-time's allocation (and its exception machinery) out of the program.
SetupApp* createSetupApp(HINSTANCE module);
void destroySetupApp();
