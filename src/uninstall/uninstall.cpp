// The uninstall run: screen saver setting, logged files, uninstall entry, goodbye.
#include "common/errors.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/text.h"
#include "engine/install.h"
#include "engine/systemsettings.h"
#include "resources/resource.h"
#include "shell/setupapp.h"
#include <string.h>

namespace {
// The uninstaller's own RunOnce value: after a removal that left files behind,
// the next logon runs it again to finish the work.
const char kFinishValue[] = "vimbaUninstall";

void setFinishAtLogon(const char* programPath, bool unattended) {
    char command[MAX_PATH + 16];
    char fullPath[MAX_PATH];
    // A cut command would start another program, and so would none: then there
    // is nothing to set. This value has always named the uninstaller in quotes,
    // blank or none.
    if (!programPath[0] ||
        !formatCommandLine(command, sizeof command, programPath,
                           unattended ? "UNINSTALL /S" : "UNINSTALL", true) ||
        !formatText(fullPath, sizeof fullPath, "%s\\%s", kRunOnceKey, kFinishValue))
        return;
    writeRegistryValue(fullPath, command, RegUserText);
}
}  // namespace

void SetupApp::runUninstall() {
    openProgress(ProgressUninstall);
    setProgressItem("Restoring Screensaver");
    restoreScreenSaver(this);
    setProgressPercent(60);
    setProgressItem("Removing Zelto Files");

    // Without the header's own list nothing is deleted, the log included: what
    // a log names is only deleted when the header names it too.
    bool listed = readRemovablePaths();
    // An install ended by force may have left an earlier file aside, or a new
    // one beside its place: neither is in the log, and both go (an earlier
    // file with nothing in its place first comes back, to be removed with it).
    for (int i = 0; i < removableCount && i < kMaxRecords; ++i) clearSideFiles(this, removablePaths[i]);
    // Files still in use are retried quietly for a while before they are reported.
    reportUndeletable = false;
    DWORD start = GetTickCount();
    bool removed;
    for (;;) {
        removed = listed && removeLoggedFiles();
        if (!listed || removed || ticksSince(start, GetTickCount()) >= kReplaceLimitMs) break;
        answerBetweenPasses();
    }
    reportUndeletable = true;
    if (listed && !removed) removed = removeLoggedFiles();
    // What is still in use goes when Windows next starts, where the system
    // offers that: then nothing is left for a later run to do.
    bool atRestart = listed && !removed && leaveRemainsToRestart();
    dropRetryInstall();

    setProgressPercent(100);
    // Only while a listed file or the log remains with no deletion named for
    // it does the product stay registered, and the uninstaller in place to
    // finish at the next logon (where Windows asks for the administrator's
    // consent to start it).
    bool finished = removed || atRestart;
    if (finished) {
        deleteRegistryValue(kRunOnceKey, kFinishValue, false);
        if (!deleteUninstallEntry()) finished = false;
    }
    // The full bar is shown a second time on purpose: the last state the window
    // paints before it closes.
    setProgressPercent(100);
    closeProgress();

    if (finished) {
        DWORD one = 1;
        writeProductValue("Uninstalled", &one, RegMachineNumber);
        exitStatus = removed ? ExitSuccess : ExitRestartNeeded;
    } else {
        setFinishAtLogon(programPath, unattended);
        // A removal without the header's list deletes nothing; one with it
        // that is not finished kept a file that was in use.
        if (!removed) noteFailure(listed ? ExitFileInUse : ExitDamaged);
    }

    char text[500];
    memset(text, 0, sizeof text);
    loadText(text, removed ? IDS_UNINSTALLED : IDS_UNINSTALL_AT_RESTART);
    appendText(text, IDS_THANK_YOU, sizeof text);
    showMessage(text, MB_ICONINFORMATION, 0);

    // Only the copy in the Windows folder goes: a copy the user keeps elsewhere
    // (on a setup disk, say) is the user's file.
    if (finished && isWindowsFolderCopy(programPath))
        selfDeleteOnExit = true;
    // Posted, not DestroyWindow: its handler only posts the quit message, so that
    // every run leaves the message loop the same way.
    PostMessageA(mainWindow, WM_DESTROY, 0, 0);
}

bool SetupApp::readRemovablePaths() {
    removableCount = 0;
    PackageSlot& slot = packages[0];
    slot.resetPackage();
    UINT error = slot.loadUpdateHeader();  // reports a missing header itself
    if (error == 0 && slot.sourceCount == 0 && fileResourceExists(slot.headerName))
        error = IDS_BAD_HEADER;  // a header that lists nothing
    if (error != 0) {
        reportErrorById(error, slot.headerName);
        return false;
    }
    for (int i = 0; i < slot.sourceCount && removableCount < kMaxRecords; ++i) {
        FileEntry entry;
        memset(&entry, 0, sizeof entry);
        copyText(entry.destName, sizeof entry.destName, slot.sourceRecords[i].destName);
        entry.dirKind = slot.dirKind;
        if (destinationPath(entry, removablePaths[removableCount])) ++removableCount;
    }
    return removableCount > 0;
}
