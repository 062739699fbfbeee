#include "engine/install.h"
#include "common/dynlib.h"
#include "common/errors.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/security.h"
#include "common/text.h"
#include "engine/package.h"
#include "engine/systemsettings.h"
#include "resources/resource.h"
#include "shell/setupapp.h"
#include <lzexpand.h>
#include <string.h>
#include <sys/utime.h>

bool leaveToRestart(SetupApp* app, const char* path) {
    bool named = deleteAtRestart(path);
    char text[MAX_PATH + 48];
    formatText(text, sizeof text,
               named ? "%s will be deleted when Windows restarts." : "%s couldn't be deleted.", path);
    app->appendInstallReport(text);
    return named;
}

namespace {
enum { kRunFolderAttempts = 64 };

// The run's own folder under "Temp", which every user may write to: made anew
// under a name nobody can tell ahead, so that every file in it is one this
// run created. On the NT family only the administrators and the system may
// enter it; without the functions for that, no folder (and no install) rather
// than one that others may write into. out ends in a backslash.
bool createRunFolder(char* out) {
    out[0] = '\0';
    char temp[MAX_PATH];
    if (!formatText(temp, sizeof temp, "%sTemp", windowsFolder())) return false;
    CreateDirectoryA(temp, NULL);
    PrivateSecurity security;
    SECURITY_ATTRIBUTES* attributes = NULL;
    if (hasFileSecurity()) {
        if (!buildPrivateSecurity(&security)) return false;
        attributes = &security.attributes;
    }
    for (int attempt = 0; attempt < kRunFolderAttempts; ++attempt) {
        ULONGLONG name = unguessableNumber();
        if (!formatText(out, MAX_PATH, "%s\\Zelto%08lX%08lX", temp, DWORD(name >> 32), DWORD(name)))
            break;
        if (CreateDirectoryA(out, attributes)) {
            if (ensureTrailingBackslash(out, MAX_PATH)) return true;
            RemoveDirectoryA(out);
            break;
        }
        // A name someone claimed first is passed over; any other failure is final.
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    out[0] = '\0';
    return false;
}

// A file of the run that will not go now (a scanner holding it) goes when
// Windows next starts; the report says which.
void deleteOrLeaveToRestart(SetupApp* app, const char* path) {
    if (fileExists(path) && !deleteFileWritable(path)) leaveToRestart(app, path);
}
}  // namespace

void removeRunFolder(SetupApp* app, const char* folder) {
    if (folder[0] == '\0') return;
    bool backupKept = false;
    for (int i = 0; i < kComponentCount; ++i) {
        PackageSlot& slot = app->packages[i];
        for (int j = 0; j < slot.installCount; ++j) {
            FileEntry& entry = slot.installEntries[j];
            char path[MAX_PATH];
            if (tempPathFor(entry, path)) deleteOrLeaveToRestart(app, path);
            char destination[MAX_PATH];
            if (!tempPathFor(entry, path, entry.destName) || !fileExists(path)) continue;
            // The replace check's backup of a file whose put-back failed, and
            // that nothing was installed over since: the only copy of the
            // user's file. It stays in the run's folder (on the NT family one
            // that only administrators can change), and the report names it.
            if (destinationPath(entry, destination) && !fileExists(destination)) {
                char text[2 * MAX_PATH + 32];
                formatText(text, sizeof text, "The only copy of %s is %s.", destination, path);
                app->appendInstallReport(text);
                backupKept = true;
            } else {
                deleteOrLeaveToRestart(app, path);
            }
        }
    }
    // A folder left with files to delete at the restart goes after them: the
    // deletions are carried out in the order they were named, and a folder
    // only once it is empty. One that keeps a backup stays.
    if (!RemoveDirectoryA(folder) && !backupKept) deleteAtRestart(folder);
}

signed char SetupApp::runInstall() {
    // An entry of an earlier installation whose uninstaller is gone would
    // start nothing: a run that installs nothing takes it away.
    if (installExpandedBytes == 0) {
        dropUninstallEntryWithoutUninstaller();
        return -1;
    }
    // The window opens at 0 %, as its text and bar are made: nothing to set again.
    openProgress(ProgressReplaceCheck);
    bytesInstalled = 0;
    char runFolder[MAX_PATH];
    // Without its folder every temporary path fails: the copy stops with 793.
    useTempCopyFolder(createRunFolder(runFolder) ? runFolder : "");
    bool installed = installPackages();
    removeRunFolder(this, runFolder);
    useTempCopyFolder(NULL);
    closeProgress();
    if (!installed) {
        setRunOnceEntry(this, true);
        dropUninstallEntryWithoutUninstaller();
        showMessageById(IDS_NOT_INSTALLED, MB_ICONERROR, 0);
        return -1;
    }
    exitStatus = ExitSuccess;
    char line[500] = "Zelto 2000";
    appendText(line, IDS_INSTALLED_LINE, sizeof line);
    appendInstallReport(line);
    char text[kTextCapacity];
    loadText(text, IDS_INSTALLED);
    showMessage(text, MB_ICONINFORMATION, 0);
    return 1;
}

bool SetupApp::installPackages() {
    bool slotOk[kComponentCount];
    for (int i = 0; i < kComponentCount; ++i) slotOk[i] = componentPresent[i];

    setProgressTitle("checking to replace files..");
    if (slotOk[0]) {
        slotOk[0] = packages[0].checkReplaceable();
        if (!slotOk[0]) return false;
    }

    setProgressTitle("Copying files..");
    for (int i = 0; i < kComponentCount; ++i)
        if (slotOk[i]) slotOk[i] = packages[i].copyPackage();
    for (int i = 0; i < kComponentCount; ++i)
        if (componentPresent[i] && !slotOk[i]) return false;

    setProgressTitle("Installing..");
    for (int i = 0; i < kComponentCount; ++i)
        if (slotOk[i]) slotOk[i] = packages[i].expandPackage();
    for (int i = 0; i < kComponentCount; ++i)
        if (componentPresent[i] && !slotOk[i]) return false;

    setProgressTitle("Removing temporary files..");
    for (int i = 0; i < kComponentCount; ++i)
        if (slotOk[i]) slotOk[i] = packages[i].cleanupPackage();

    if (slotOk[0]) {
        if (!installUninstaller(this)) return false;
        setRunOnceEntry(this, false);
    }
    for (int i = 0; i < kComponentCount; ++i)
        if (slotOk[i]) return true;
    return false;
}

bool PackageSlot::checkReplaceable() {
    SetupApp* app = setupApp;
    DWORD start = GetTickCount();
    DWORD lastRefresh = start;
    DWORD pass = 0;
    bool allPassed;
    for (;;) {
        allPassed = true;
        for (int i = 0; i < installCount; ++i)
            if (!installEntries[i].testReplaceEntry(pass)) allPassed = false;
        ++pass;
        DWORD now = GetTickCount();
        if (ticksSince(lastRefresh, now) > kRefreshIntervalMs) {
            lastRefresh = now;
            DWORD elapsed = ticksSince(start, now);
            app->setProgressElapsed(static_cast<LONG>(elapsed));
            app->setProgressPercent(elapsed >= DWORD(kReplaceLimitMs)
                                        ? 100
                                        : LONG(elapsed * 100 / kReplaceLimitMs));
        }
        if (allPassed || ticksSince(start, GetTickCount()) >= kReplaceLimitMs) break;
        answerBetweenPasses();
    }
    if (allPassed) {
        app->setProgressElapsed(0);
        return true;
    }
    setRunOnceEntry(app, true);
    app->noteFailure(ExitFileInUse);
    reportErrorById(IDS_FILE_IN_USE, app->currentItem);
    return false;
}

namespace {
// Whether the installed file of entry can be replaced: it is deleted and put back
// from a backup. True when there is no installed file.
bool replaceable(const FileEntry& entry) {
    char destination[MAX_PATH];
    if (!destinationPath(entry, destination)) return false;
    if (!fileExists(destination)) return true;
    char backup[MAX_PATH];
    // The backup is made new: a file found under its name was not made by this
    // check, and nothing but this check's own copy is ever put back.
    if (!tempPathFor(entry, backup, entry.destName) || !CopyFileA(destination, backup, TRUE))
        return false;
    clearReadOnly(backup);
    bool passed = false;
    bool backupNeeded = false;
    if (deleteFileWritable(destination)) {
        // The installed file is gone for a moment: put it back from the backup,
        // and never delete the backup while it is the only copy.
        if (copyFileWritable(backup, destination) || MoveFileA(backup, destination))
            passed = true;
        else
            backupNeeded = true;
    }
    if (!backupNeeded) deleteFileWritable(backup);
    return passed;
}
}  // namespace

bool FileEntry::testReplaceEntry(DWORD pass) {
    SetupApp* app = setupApp;
    if (pass == 0) app->setProgressItem(destName);
    if (replaceable(*this)) return true;
    // The error report of a failed check names the progress item: it must be this
    // entry, whichever entry a later pass showed last.
    app->setProgressItem(destName);
    return false;
}

void answerBetweenPasses() {
    // PM_NOREMOVE delivers the messages sent to this thread, so that Windows does
    // not take it for hung, and leaves posted and input messages queued: no click
    // or key acts on a window while the run waits. The sleep spares the processor.
    MSG message;
    PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE);
    Sleep(kWaitSliceMs);
}

LONG copyPercent(LONG bytesInstalled, LONG compressedTotal) {
    if (compressedTotal <= 0) return 100;  // nothing to weigh the bytes against
    if (bytesInstalled <= 0) return 0;
    if (bytesInstalled >= compressedTotal) return 100;
    // The whole percent below the share: the largest p with p * total <= bytes * 100.
    // Products of two 32-bit numbers need no 64-bit division (a run-time routine
    // of its own in a 32-bit program).
    ULONGLONG scaled = UInt32x32To64(bytesInstalled, 100);
    LONG percent = 0;
    while (percent < 99 && UInt32x32To64(percent + 1, compressedTotal) <= scaled) ++percent;
    return percent;
}

bool PackageSlot::copyPackage() {
    for (int i = 0; i < installCount; ++i) {
        // Copies are made new: a packed file listed twice is copied once.
        bool copied = false;
        for (int j = 0; j < i; ++j)
            if (lstrcmpiA(installEntries[j].sourceName, installEntries[i].sourceName) == 0) copied = true;
        if (!copied && !installEntries[i].copyEntry()) {
            reportErrorById(IDS_NO_DOWNLOAD, installEntries[i].sourceName);
            return false;
        }
    }
    return true;
}

bool FileEntry::copyEntry() {
    SetupApp* app = setupApp;
    app->setProgressItem(destName);
    char tempPath[MAX_PATH];
    if (!tempPathFor(*this, tempPath)) return false;
    UINT extracted = extractFileResource(sourceName, tempPath);
    if (extracted != ExtractWritten) {
        // A packed file the header names and the program lacks: a damaged package.
        if (extracted == ExtractNoResource)
            app->noteFailure(ExitDamaged);
        else
            app->noteWriteFailure();
        return false;
    }
    stampTempCopy(tempPath);
    app->bytesInstalled += compressedSize;
    app->setProgressPercent(copyPercent(app->bytesInstalled, app->installCompressedBytes));
    return true;
}

UINT extractFileResource(const char* name, const char* path) {
    const BYTE* bytes = NULL;
    DWORD size = 0;
    HGLOBAL handle = NULL;
    if (!loadFileResource(name, &bytes, &size, &handle)) {
        releaseFileResource(&bytes, &handle);
        return ExtractNoResource;
    }
    // Never a file that was there before: its owner could change it before it
    // is expanded into the system folder.
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        releaseFileResource(&bytes, &handle);
        return ExtractFailed;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes, size, &written, NULL);
    DWORD error = GetLastError();
    // A full disk writes less than asked: a cut copy must not be installed.
    bool whole = ok && written == size;
    if (!CloseHandle(file)) whole = false;
    releaseFileResource(&bytes, &handle);
    if (!whole) {
        DeleteFileA(path);
        SetLastError(error);  // why the write failed, for the caller
        return ExtractFailed;
    }
    clearReadOnly(path);
    return ExtractWritten;
}

void FileEntry::stampTempCopy(const char* tempPath) {
    // The copy keeps the packaged file's time for both access and modification.
    struct _utimbuf times;
    times.actime = timeStamp;
    times.modtime = timeStamp;
    if (const CrtLibrary* crt = crtLibrary()) crt->_utime(tempPath, &times);
}

bool PackageSlot::expandPackage() {
    for (int i = 0; i < installCount; ++i) {
        if (!installEntries[i].expandEntry()) {
            setRunOnceEntry(setupApp, true);
            reportErrorById(IDS_NO_INSTALL, installEntries[i].destName);
            return false;
        }
    }
    return true;
}

LONG expectedExpandedSize(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return -1;
    BYTE header[14];
    DWORD read = 0;
    BOOL ok = ReadFile(file, header, sizeof header, &read, NULL);
    DWORD size = GetFileSize(file, NULL);
    CloseHandle(file);
    if (!ok || size == INVALID_FILE_SIZE) return -1;
    static const BYTE kMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
    if (read == sizeof header && memcmp(header, kMagic, sizeof kMagic) == 0) {
        DWORD length = header[10] | (header[11] << 8) | (header[12] << 16) |
                       (static_cast<DWORD>(header[13]) << 24);
        return length > 0x7FFFFFFF ? -1 : static_cast<LONG>(length);
    }
    return size > 0x7FFFFFFF ? -1 : static_cast<LONG>(size);
}

bool FileEntry::expandEntry() {
    SetupApp* app = setupApp;
    char destination[MAX_PATH];
    char tempPath[MAX_PATH];
    if (!destinationPath(*this, destination) || !tempPathFor(*this, tempPath)) return false;
    app->setProgressItem(destName);
    LONG expected = expectedExpandedSize(tempPath);
    OFSTRUCT sourceInfo;
    OFSTRUCT destinationInfo;
    memset(&sourceInfo, 0, sizeof sourceInfo);
    memset(&destinationInfo, 0, sizeof destinationInfo);
    // The LZ library is loaded at the first expansion; without it nothing expands.
    const LzLibrary* lz = lzLibrary();
    if (!lz) return false;
    INT source = lz->LZOpenFileA(tempPath, &sourceInfo, OF_READ);
    INT target = lz->LZOpenFileA(destination, &destinationInfo, OF_CREATE);
    LONG copied = -1;
    if (source >= 0 && target >= 0) copied = lz->LZCopy(source, target);
    if (source >= 0) lz->LZClose(source);
    if (target >= 0) lz->LZClose(target);
    // Some expansions of a cut packed file still answer a positive count: only
    // the whole promised length counts as installed.
    if (copied <= 0 || expected < 0 || copied != expected) {
        app->noteWriteFailure();
        // Leave no cut file where the program would load it.
        if (target >= 0) DeleteFileA(destination);
        return false;
    }
    clearReadOnly(destination);
    clearReadOnly(tempPath);
    // A removal that could not finish may have named this path for deletion at
    // the next restart: the file installed now must survive it.
    cancelRestartDeletion(destination);
    // A file the log does not name would outlive the uninstaller: take it back.
    if (!app->appendInstallLog(destination)) {
        DeleteFileA(destination);
        return false;
    }
    noteChange("File installed:", destination);
    return true;
}

bool PackageSlot::cleanupPackage() {
    // A scanner of the system may hold a new file for a moment: the copies are
    // retried for a while, and what stays is left to removeRunFolder, which
    // names it for deletion at the restart. The files are in by now: a copy
    // left behind never fails the run.
    DWORD start = GetTickCount();
    for (;;) {
        bool allRemoved = true;
        for (int i = 0; i < installCount; ++i)
            if (!installEntries[i].removeTempCopy()) allRemoved = false;
        if (allRemoved || ticksSince(start, GetTickCount()) >= kCleanupLimitMs) return true;
        answerBetweenPasses();
    }
}

bool FileEntry::removeTempCopy() {
    char tempPath[MAX_PATH];
    if (!tempPathFor(*this, tempPath)) return true;  // no path: no copy was made
    setupApp->setProgressItem(destName);
    return !fileExists(tempPath) || deleteFileWritable(tempPath);
}
