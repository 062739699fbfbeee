// The package check: the update header read into a package slot and its install list.
#include "engine/package.h"
#include "engine/recordrules.h"
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
    if (type == PackageZelto || type == PackageZuvak) {
        dirKind = DirSystem;
        copyText(headerName, sizeof headerName, type == PackageZelto ? "zelto.new" : "zuvak.new");
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
    openProgress(ProgressPackageCheck);
    bool found = packages[0].checkPackage();
    // The edition line shows the package's date: the whole background is
    // painted again when the check's window closes.
    if (found) {
        newestFileTime = packages[0].newestTime;
        InvalidateRect(mainWindow, NULL, FALSE);
    }
    setProgressPercent(100);
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
    setupApp->advanceProgress(17);
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
        return kHeaderAlreadyReported;
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

static_assert(sizeof(HeaderRecord::sourceName) == kRecordSourceField &&
                  sizeof(HeaderRecord::destName) == kRecordDestField && int(kEntryNameSize) == int(kRecordNameCapacity),
              "the record rules measure the fields of this record");

bool PackageSlot::validateHeaderRecord() {
    HeaderRecord& record = sourceRecords[sourceCount];
    if (!recordNameUsable(record.sourceName, sizeof record.sourceName) ||
        !recordNameUsable(record.destName, sizeof record.destName))
        return false;
    if (sourceCount == 0 && !firstRecordNamesMatch(record.sourceName, record.destName)) return false;
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
