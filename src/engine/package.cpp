// The package check: the update header read into a package slot and its install list.
#include "engine/package.h"
#include "common/errors.h"
#include "common/paths.h"
#include "common/text.h"
#include "resources/resource.h"
#include "shell/setupapp.h"
#include <string.h>

PackageSlot::PackageSlot() {
    resetPackage();
    dirKind = 0;
    packageType = 0;
    headerName[0] = '\0';
}

void PackageSlot::setPackageType(SHORT type) {
    packageType = type;
    if (type == 20 || type == 21) {
        dirKind = DirSystem;
        copyText(headerName, sizeof headerName, type == 20 ? "zelto.new" : "zuvak.new");
    }
}

void PackageSlot::resetPackage() {
    memset(sourceRecords, 0, sizeof sourceRecords);
    memset(installEntries, 0, sizeof installEntries);
    newestTime = 0;
    compressedTotal = 0;
    uncompressedTotal = 0;
    installCount = 0;
    sourceCount = 0;
}

bool SetupApp::checkPackages() {
    openProgress(0);
    bool found = packages[0].checkPackage();
    if (found) newestFileTime = packages[0].newestTime;
    progressPercent = 100;
    updateProgress();
    closeProgress();
    return found;
}

bool PackageSlot::checkPackage() {
    resetPackage();
    if (!readUpdateHeader()) return false;
    for (int i = 0; i < sourceCount; ++i) {
        const HeaderRecord& record = sourceRecords[i];
        addInstallEntry(record.sourceName, record.destName, dirKind, record.timeStamp,
                        record.compressedSize, record.uncompressedSize);
    }
    return installCount != 0;
}

bool PackageSlot::readUpdateHeader() {
    sourceCount = 0;
    setupApp->setProgressItem(headerName);
    setupApp->progressPercent += 17;
    if (setupApp->progressPercent > 100) setupApp->progressPercent = 100;
    setupApp->updateProgress();
    UINT error = loadUpdateHeader();
    if (error == 0) return true;
    reportErrorById(error, headerName);
    return false;
}

UINT PackageSlot::loadUpdateHeader() {
    const BYTE* bytes = NULL;
    DWORD size = 0;
    HGLOBAL handle = NULL;
    if (!loadFileResource(headerName, &bytes, &size, &handle)) {
        releaseFileResource(&bytes, &handle);
        char argument[40];
        formatText(argument, sizeof argument, "res::%s", headerName);
        reportErrorById(IDS_NO_HEADER, argument);
        return 0;
    }
    UINT error = readHeaderRecords(bytes, size);
    releaseFileResource(&bytes, &handle);
    return error;
}

UINT PackageSlot::readHeaderRecords(const BYTE* bytes, DWORD size) {
    DWORD count = size / kHeaderRecordSize;
    sourceCount = 0;
    // A header that lists more files than a slot holds is not ours to cut short.
    if (count > kMaxRecords) return IDS_BAD_HEADER;
    for (DWORD i = 0; i < count; ++i) {
        memcpy(&sourceRecords[sourceCount], bytes + i * kHeaderRecordSize, kHeaderRecordSize);
        if (!validateHeaderRecord()) {
            memset(sourceRecords, 0, sizeof sourceRecords);
            sourceCount = 0;
            return IDS_BAD_HEADER;
        }
        ++sourceCount;
    }
    return 0;
}

namespace {
// The device names that Windows finds in every folder, with or without an extension.
bool isDeviceName(const char* name, size_t n) {
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$"};
    size_t stem = 0;
    while (stem < n && name[stem] != '.' && name[stem] != ' ') ++stem;
    char base[8];
    if (stem == 0 || stem >= sizeof base) return false;
    memcpy(base, name, stem);
    base[stem] = '\0';
    for (const char* device : kDevices)
        if (lstrcmpiA(base, device) == 0) return true;
    if (stem == 4 && base[3] >= '1' && base[3] <= '9') {
        base[3] = '\0';
        return lstrcmpiA(base, "COM") == 0 || lstrcmpiA(base, "LPT") == 0;
    }
    return false;
}

// A name fits its install entry with its terminator, and names a file in the
// slot's folder: not a path, not the folder itself or its parent (names of
// dots and blanks only), not a device.
bool usableName(const char* field, size_t fieldSize) {
    size_t n = boundedLength(field, fieldSize);
    if (n == 0 || n >= fieldSize || n >= kEntryNameSize) return false;
    bool onlyDotsAndBlanks = true;
    for (size_t i = 0; i < n; ++i) {
        char c = field[i];
        if (c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 32) return false;
        if (c != '.' && c != ' ') onlyDotsAndBlanks = false;
    }
    return !onlyDotsAndBlanks && !isDeviceName(field, n);
}
}  // namespace

bool PackageSlot::validateHeaderRecord() {
    HeaderRecord& record = sourceRecords[sourceCount];
    if (!usableName(record.sourceName, sizeof record.sourceName) ||
        !usableName(record.destName, sizeof record.destName))
        return false;
    if (sourceCount == 0) {
        // The packed name is the installed name with its last character replaced.
        char a[32];
        char b[32];
        memset(a, 0, sizeof a);
        memset(b, 0, sizeof b);
        lstrcpynA(a, record.sourceName, 30);
        lstrcpynA(b, record.destName, 30);
        int n = lstrlenA(a);
        if (n > 0) a[n - 1] = '\0';
        n = lstrlenA(b);
        if (n > 0) b[n - 1] = '\0';
        if (lstrcmpiA(record.sourceName, "zelto.sc_") != 0 && lstrcmpiA(a, b) != 0) return false;
    }
    if (lstrcmpiA(record.destName, "zuvak.scr") == 0)
        copyText(record.destName, sizeof record.destName, "Ostrell Zuvak.scr");
    return true;
}

bool PackageSlot::addInstallEntry(const char* source, const char* dest, SHORT kind, LONG time,
                                  LONG compressedSize, LONG uncompressedSize) {
    if (installCount >= kMaxRecords) return false;
    FileEntry& entry = installEntries[installCount];
    copyText(entry.destName, sizeof entry.destName, dest);
    copyText(entry.sourceName, sizeof entry.sourceName, source);
    entry.timeStamp = time;
    entry.compressedSize = compressedSize;
    entry.dirKind = kind;
    compressedTotal += static_cast<LONGLONG>(compressedSize);
    uncompressedTotal += static_cast<LONGLONG>(uncompressedSize);
    if (time > newestTime) newestTime = time;
    ++installCount;
    return true;
}
