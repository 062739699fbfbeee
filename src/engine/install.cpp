#include "engine/install.h"
#include "common/systemcalls.h"
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
    systemCalls->CreateDirectoryA(temp, NULL);
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
        if (systemCalls->CreateDirectoryA(out, attributes)) {
            if (ensureTrailingBackslash(out, MAX_PATH)) return true;
            systemCalls->RemoveDirectoryA(out);
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

void reportFileStep(SetupApp* app, const char* what, const char* path) {
    char text[MAX_PATH + 32];
    formatText(text, sizeof text, "%s %s", what, path);
    app->appendInstallReport(text);
}

// Flushes a file just written and checks it has the length it must have (any
// length for -1).
bool flushWholeFile(const char* path, LONG length) {
    HANDLE file = systemCalls->CreateFileA(path, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool whole = (length < 0 || GetFileSize(file, NULL) == DWORD(length)) &&
                 systemCalls->FlushFileBuffers(file);
    DWORD error = GetLastError();
    if (!CloseHandle(file)) whole = false;
    SetLastError(error);
    return whole;
}
}  // namespace

bool sideName(const char* destination, bool old, char* out) {
    return formatText(out, MAX_PATH, old ? "%s.zelto-old" : "%s.zelto-new", destination);
}

bool moveFileDurably(const char* from, const char* to) {
    if (systemCalls->MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH)) return true;
    // Windows 9x has the call only as a stub that fails.
    return GetLastError() == ERROR_CALL_NOT_IMPLEMENTED && systemCalls->MoveFileA(from, to);
}

bool putInPlace(const char* destination) {
    char fresh[MAX_PATH];
    char old[MAX_PATH];
    if (!sideName(destination, false, fresh) || !sideName(destination, true, old)) return false;
    DWORD attributes = GetFileAttributesA(destination);
    bool earlier = attributes != INVALID_FILE_ATTRIBUTES;
    if (earlier && ((attributes & FILE_ATTRIBUTE_DIRECTORY) || !moveFileDurably(destination, old)))
        return false;
    if (moveFileDurably(fresh, destination)) return true;
    if (earlier) moveFileDurably(old, destination);
    return false;
}

void takeBack(SetupApp* app, const char* destination, bool placed) {
    char fresh[MAX_PATH];
    char old[MAX_PATH];
    if (!sideName(destination, false, fresh) || !sideName(destination, true, old)) return;
    deleteOrLeaveToRestart(app, fresh);
    if (placed) {
        // The new file could not go: the earlier one stays aside, not lost.
        if (!deleteFileWritable(destination)) {
            leaveToRestart(app, destination);
            return;
        }
        reportFileStep(app, "File taken back:", destination);
    }
    if (fileExists(old) && !fileExists(destination) && moveFileDurably(old, destination))
        reportFileStep(app, "File put back:", destination);
}

void keepInPlace(SetupApp* app, const char* destination) {
    char old[MAX_PATH];
    if (sideName(destination, true, old)) deleteOrLeaveToRestart(app, old);
}

void clearSideFiles(SetupApp* app, const char* destination) {
    // A run ended by force between its two moves left the earlier file aside
    // with nothing in its place: it comes back. A "new" file it left goes, and
    // so does an earlier file aside once another stands in its place.
    takeBack(app, destination, false);
    char old[MAX_PATH];
    if (fileExists(destination) && sideName(destination, true, old)) deleteOrLeaveToRestart(app, old);
}

bool placeCopyOfProgram(SetupApp* app, const char* destination) {
    char fresh[MAX_PATH];
    clearSideFiles(app, destination);
    return sideName(destination, false, fresh) && copyOpenFile(app->programFile, fresh) &&
           putInPlace(destination);
}

void removeRunFolder(SetupApp* app, const char* folder) {
    if (folder[0] == '\0') return;
    for (int i = 0; i < kComponentCount; ++i) {
        PackageSlot& slot = app->packages[i];
        for (int j = 0; j < slot.installCount; ++j) {
            char path[MAX_PATH];
            if (tempPathFor(slot.installEntries[j], path)) deleteOrLeaveToRestart(app, path);
        }
    }
    // A folder left with files to delete at the restart goes after them: the
    // deletions are carried out in the order they were named, and a folder
    // only once it is empty.
    if (!systemCalls->RemoveDirectoryA(folder)) deleteAtRestart(folder);
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
    // Armed before anything changes, so that a run ended by force or by a power
    // cut is run again at the next logon; a run that succeeds takes it back.
    setRunOnceEntry(this, true);
    char runFolder[MAX_PATH];
    // Without its folder every temporary path fails: the copy stops with 793.
    useTempCopyFolder(createRunFolder(runFolder) ? runFolder : "");
    bool installed = installPackages();
    removeRunFolder(this, runFolder);
    useTempCopyFolder(NULL);
    closeProgress();
    if (!installed) {
        takeBackInstall();  // nothing left to take back unless a step forgot to
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

    // Every file is first expanded whole beside its place; only then are they
    // put in, each logged first. Until the run is over every earlier file is
    // kept aside, so that a failure at any step takes the run back.
    setProgressTitle("Installing..");
    for (int i = 0; i < kComponentCount; ++i)
        if (slotOk[i]) slotOk[i] = packages[i].expandPackage();
    for (int i = 0; i < kComponentCount; ++i)
        if (componentPresent[i] && !slotOk[i]) return false;
    logLengthBefore = installLogLength();
    for (int i = 0; i < kComponentCount; ++i)
        if (slotOk[i]) slotOk[i] = packages[i].placePackage();
    for (int i = 0; i < kComponentCount; ++i)
        if (componentPresent[i] && !slotOk[i]) return false;

    setProgressTitle("Removing temporary files..");
    for (int i = 0; i < kComponentCount; ++i)
        if (slotOk[i]) slotOk[i] = packages[i].cleanupPackage();

    if (slotOk[0]) {
        if (!installUninstaller(this)) return false;
        keepInstall();
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
    char backup[MAX_PATH];
    if (!destinationPath(entry, destination) || !sideName(destination, true, backup)) return false;
    // What a run ended by force left beside the file comes first: it may be
    // the installed file itself.
    clearSideFiles(setupApp, destination);
    if (!fileExists(destination)) return true;
    // The backup stands beside the file, under the name every later run looks
    // at, and is on the disk before the file is deleted: a run ended before the
    // put-back leaves it where the next run puts it back.
    if (!systemCalls->CopyFileA(destination, backup, TRUE)) return false;
    clearReadOnly(backup);
    bool passed = false;
    bool backupNeeded = false;
    if (flushWholeFile(backup, -1) && deleteFileWritable(destination)) {
        // The installed file is gone for a moment: put it back from the backup,
        // and never delete the backup while it is the only copy.
        if (copyFileWritable(backup, destination) || moveFileDurably(backup, destination))
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
    HANDLE file = systemCalls->CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        releaseFileResource(&bytes, &handle);
        return ExtractFailed;
    }
    DWORD written = 0;
    BOOL ok = systemCalls->WriteFile(file, bytes, size, &written, NULL);
    DWORD error = GetLastError();
    // A full disk writes less than asked: a cut copy must not be installed.
    bool whole = ok && written == size;
    if (!CloseHandle(file)) whole = false;
    releaseFileResource(&bytes, &handle);
    if (!whole) {
        systemCalls->DeleteFileA(path);
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

namespace {
// Both steps of the install phase stop at the first entry that fails: the run
// is taken back before 794 names it.
bool failInstallOf(FileEntry& entry) {
    setupApp->takeBackInstall();
    setRunOnceEntry(setupApp, true);
    reportErrorById(IDS_NO_INSTALL, entry.destName);
    return false;
}
}  // namespace

bool PackageSlot::expandPackage() {
    for (int i = 0; i < installCount; ++i)
        if (!installEntries[i].expandEntry()) return failInstallOf(installEntries[i]);
    return true;
}

bool PackageSlot::placePackage() {
    for (int i = 0; i < installCount; ++i)
        if (!installEntries[i].placeEntry()) return failInstallOf(installEntries[i]);
    return true;
}

void SetupApp::takeBackInstall() {
    for (int i = kComponentCount - 1; i >= 0; --i) {
        PackageSlot& slot = packages[i];
        for (int j = slot.installCount - 1; j >= 0; --j) {
            FileEntry& entry = slot.installEntries[j];
            char destination[MAX_PATH];
            if (destinationPath(entry, destination)) takeBack(this, destination, entry.placed);
            entry.placed = false;
        }
    }
    if (logLengthBefore != kLogUntouched && cutInstallLog(logLengthBefore))
        logLengthBefore = kLogUntouched;
}

void SetupApp::keepInstall() {
    for (int i = 0; i < kComponentCount; ++i) {
        PackageSlot& slot = packages[i];
        for (int j = 0; j < slot.installCount; ++j) {
            FileEntry& entry = slot.installEntries[j];
            char destination[MAX_PATH];
            if (entry.placed && destinationPath(entry, destination)) keepInPlace(this, destination);
            entry.placed = false;
        }
    }
    logLengthBefore = kLogUntouched;
}

LONG expectedExpandedSize(const char* path) {
    HANDLE file = systemCalls->CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
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
    char staged[MAX_PATH];
    if (!destinationPath(*this, destination) || !tempPathFor(*this, tempPath) ||
        !sideName(destination, false, staged))
        return false;
    app->setProgressItem(destName);
    clearSideFiles(app, destination);
    LONG expected = expectedExpandedSize(tempPath);
    OFSTRUCT sourceInfo;
    OFSTRUCT stagedInfo;
    memset(&sourceInfo, 0, sizeof sourceInfo);
    memset(&stagedInfo, 0, sizeof stagedInfo);
    // The LZ library is loaded at the first expansion; without it nothing expands.
    const LzLibrary* lz = lzLibrary();
    if (!lz) return false;
    INT source = lz->LZOpenFileA(tempPath, &sourceInfo, OF_READ);
    INT target = lz->LZOpenFileA(staged, &stagedInfo, OF_CREATE);
    LONG copied = -1;
    if (source >= 0 && target >= 0) copied = lz->LZCopy(source, target);
    if (source >= 0) lz->LZClose(source);
    if (target >= 0) lz->LZClose(target);
    // Some expansions of a cut packed file still answer a positive count: only
    // the whole promised length, on the disk, counts as expanded.
    if (copied <= 0 || expected < 0 || copied != expected || !flushWholeFile(staged, expected)) {
        app->noteWriteFailure();
        if (target >= 0) systemCalls->DeleteFileA(staged);
        return false;
    }
    clearReadOnly(tempPath);
    return true;
}

bool FileEntry::placeEntry() {
    SetupApp* app = setupApp;
    char destination[MAX_PATH];
    if (!destinationPath(*this, destination)) return false;
    app->setProgressItem(destName);
    // A file the log does not name would outlive the uninstaller: its line is
    // on the disk before the file is in place.
    if (!app->appendInstallLog(destination) || !putInPlace(destination)) return false;
    placed = true;
    // A removal that could not finish may have named this path for deletion at
    // the next restart: the file installed now must survive it.
    cancelRestartDeletion(destination);
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
