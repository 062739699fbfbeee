// The embedded file list: update header records, package slots and install entries.
#pragma once
#include <windows.h>

// One 72-byte record of the update header, exactly as stored (little-endian).
#pragma pack(push, 1)
struct HeaderRecord {
    char sourceName[28];      // "RES_FILE" resource holding the packed file
    LONG uncompressedSize;    // size once expanded
    char destName[32];        // installed file name
    LONG timeStamp;           // 32-bit time_t
    LONG compressedSize;      // size of the packed resource
};
#pragma pack(pop)
static_assert(sizeof(HeaderRecord) == 72, "update header records are 72 bytes");

enum { kHeaderRecordSize = 72, kMaxRecords = 30, kEntryNameSize = 30 };

// Package types: each names its update header; both install into the system folder.
enum : SHORT { PackageZelto = 20, PackageZuvak = 21 };

// What loadUpdateHeader answers for a header that is not there: its message is out already.
enum : UINT { kHeaderAlreadyReported = 0 };

struct FileEntry {
    char sourceName[kEntryNameSize];
    char destName[kEntryNameSize];
    SHORT dirKind;
    LONG timeStamp;
    LONG compressedSize;
    // Put in place by this run, and not yet kept for good: a failed run takes it back.
    bool placed;

    // Install run (install.cpp)
    bool testReplaceEntry(DWORD pass);
    bool copyEntry();
    void stampTempCopy(const char* tempPath);
    // Expands the temporary copy beside the destination, under its "new" name.
    bool expandEntry();
    // Logs the destination, then puts the expanded file in its place.
    bool placeEntry();
    bool removeTempCopy();
};

struct PackageSlot {
    // The counts before the tables, within a one-byte offset of the start.
    LONG newestTime;
    LONGLONG compressedTotal;
    LONGLONG uncompressedTotal;
    SHORT installCount;
    SHORT sourceCount;
    SHORT dirKind;
    SHORT packageType;
    char headerName[32];
    HeaderRecord sourceRecords[kMaxRecords];
    FileEntry installEntries[kMaxRecords];

    PackageSlot();
    void setPackageType(SHORT type);
    void resetPackage();
    bool checkPackage();
    bool readUpdateHeader();
    // 0 or the id of the error that the caller reports. A missing header is
    // reported here and answered kHeaderAlreadyReported, which is 0 as well, with
    // no records: the callers tell it apart by sourceCount.
    UINT loadUpdateHeader();
    // Copies and checks the records of a header held in memory; 0 or an error id.
    UINT readHeaderRecords(const BYTE* bytes, DWORD size);
    bool validateHeaderRecord();
    bool addInstallEntry(const char* sourceName, const char* destName, SHORT dirKind,
                         LONG timeStamp, LONG compressedSize, LONG uncompressedSize);

    // Install run (install.cpp)
    bool checkReplaceable();
    bool copyPackage();
    bool expandPackage();
    bool placePackage();
    bool cleanupPackage();
};

// The paths of an entry's files, into MAX_PATH buffers (entrypaths.cpp); a path
// that would not fit is never cut into the name of another file: out is left
// empty and false returned.
bool tempPathFor(const FileEntry& entry, char* out, const char* otherName = NULL);
// The folder tempPathFor puts names in (kept by pointer, ending in "\\"): NULL
// for "Temp" under the Windows folder, "" for none, so that every path fails.
void useTempCopyFolder(const char* folder);
bool destinationPath(const FileEntry& entry, char* out);

// "RES_FILE" resources of the program's module, found by name in any letter case.
bool loadFileResource(const char* name, const BYTE** bytes, DWORD* size, HGLOBAL* handle);
void releaseFileResource(const BYTE** bytes, HGLOBAL* handle);
bool fileResourceExists(const char* name);
