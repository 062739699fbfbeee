// The uninstall run: screen saver setting, logged files, uninstall entry, goodbye.
#include "common/messages.h"
#include "common/paths.h"
#include "common/registry.h"
#include "engine/install.h"
#include "resources/resource.h"
#include "shell/setupapp.h"
#include <string.h>

void SetupApp::runUninstall() {
    openProgress(2);
    setProgressItem("Restoring Screensaver");
    restoreScreenSaver(this);
    progressPercent = 60;
    updateProgress();
    setProgressItem("Removing Zelto Files");

    // Files still in use are retried quietly for a while before they are reported.
    reportUndeletable = false;
    DWORD start = GetTickCount();
    bool removed;
    do {
        removed = removeLoggedFiles();
    } while (!removed && ticksSince(start, GetTickCount()) < kReplaceLimitMs);
    reportUndeletable = true;
    if (!removed) removed = removeLoggedFiles();
    runComplete = removed;

    progressPercent = 100;
    updateProgress();
    deleteRegistryValue(kUninstallKey, "DisplayName", true);
    deleteRegistryValue(kUninstallKey, "UninstallString", true);
    progressPercent = 100;
    updateProgress();
    closeProgress();

    DWORD one = 1;
    writeProductValue("Uninstalled", &one, 8);

    char text[500];
    memset(text, 0, sizeof text);
    loadText(text, IDS_UNINSTALLED);
    appendText(text, IDS_THANK_YOU, sizeof text);
    showMessage(text, MB_ICONINFORMATION, 0);

    char programPath[MAX_PATH];
    if (modulePath(instance, programPath) && findTextNoCase(programPath, "vmbUninst.exe"))
        selfDeleteOnExit = true;
    PostMessageA(mainWindow, WM_DESTROY, 0, 0);
}
