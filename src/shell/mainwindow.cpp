// The main window's behaviour and the control flow from creation to exit.
#include "common/dynlib.h"
#include "common/errors.h"
#include "common/imagesum.h"
#include "common/paths.h"
#include "common/text.h"
#include "engine/systemsettings.h"
#include "resources/resource.h"
#include "shell/mirrors.h"
#include "shell/setupapp.h"
#include <mmsystem.h>
#include <string.h>

const MirrorSite kMirrorSites[3] = {
    {"www.ostrellzuvak.com", "/vt_files/", "ostrellzuvak.com"},
    {"mirror.zeltosaver.net", "/vt_files/", "zeltosaver.net"},
    {"ftp2.ostrellzuvak.com", "/vimbatressil/vt_files/", "FTP site 2"},
};

int mirrorIndexFor(int randomNumber) { return (randomNumber % 9) / 3; }

void SetupApp::onCreate() {
    if (!uninstallMode) {
        char soundPath[MAX_PATH];
        memset(soundPath, 0, sizeof soundPath);
        // A path that does not fit is not the sound beside the program: play nothing.
        // The multimedia library is loaded only for a sound that is there.
        const MultimediaLibrary* winmm = NULL;
        // Without a name of the folder in the code page there is none to play.
        if (installerDir[0] &&
            formatText(soundPath, sizeof soundPath, "%szuvak.wav", installerDir) &&
            fileExists(soundPath) && (winmm = multimediaLibrary()) != NULL)
            winmm->PlaySoundA(soundPath, NULL, SND_FILENAME | SND_ASYNC);
    }
    sourceRemote = false;
    if (!fileResourceExists(packages[0].headerName)) sourceRemote = true;
    chooseMirrorSite();
    PostMessageA(mainWindow, MSG_BEGIN_SETUP, 0, 0);
}

void SetupApp::chooseMirrorSite() {
    // Without the C run-time the first site is taken.
    int random = 0;
    if (const CrtLibrary* crt = crtLibrary()) {
        crt->srand(GetTickCount());
        random = crt->rand();
    }
    const MirrorSite& site = kMirrorSites[mirrorIndexFor(random)];
    copyText(mirrorHost, sizeof mirrorHost, site.host);
    copyText(mirrorPath, sizeof mirrorPath, site.path);
    copyText(mirrorDisplayName, sizeof mirrorDisplayName, site.displayName);
}

LRESULT SetupApp::command(WPARAM, UINT, LPARAM) { return 0; }

LRESULT SetupApp::windowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(mainWindow, &paint);
        if (dc) paintBackground(dc);
        EndPaint(mainWindow, &paint);
        break;
    }
    case WM_ERASEBKGND:
        // The painting covers the whole client area.
        return 1;
    case WM_WINDOWPOSCHANGING:
        if (!positionLocked) {
            positionLocked = true;
        } else {
            reinterpret_cast<WINDOWPOS*>(lParam)->flags =
                SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW | SWP_NOOWNERZORDER;
        }
        break;
    case MSG_BEGIN_SETUP:
        if (uninstallMode)
            runUninstall();
        else
            requestInstall();
        break;
    case MSG_RUN_INSTALL:
        runInstall();
        PostMessageA(mainWindow, WM_DESTROY, 0, 0);
        break;
    default:
        break;
    }
    return DefWindowProcA(mainWindow, message, wParam, lParam);
}

namespace {
// A download or a floppy copy with one changed byte would install a damaged
// screen saver or show a damaged licence: such a file installs nothing.
bool setupFileIntact(HANDLE programFile) {
    if (imageFileIntact(programFile)) return true;
    reportErrorById(IDS_SETUP_DAMAGED, "");
    return false;
}
}  // namespace

void SetupApp::requestInstall() {
    if (!setupFileIntact(programFile) || !checkPackages()) {
        noteFailure(ExitDamaged);
        PostMessageA(mainWindow, WM_DESTROY, 0, 0);
        return;
    }
    // 0: cancelled or declined; -1: the wizard could not be shown.
    int wizard = runSetupWizard();
    if (wizard <= 0) {
        if (wizard == 0) noteFailure(ExitCancelled);
        PostMessageA(mainWindow, WM_DESTROY, 0, 0);
        return;
    }
    // What the wizard covered is painted before the install begins; the rest
    // of the background has not changed.
    UpdateWindow(mainWindow);
    PostMessageA(mainWindow, MSG_RUN_INSTALL, 0, 0);
}
