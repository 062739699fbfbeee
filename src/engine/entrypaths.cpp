// The paths of an install entry's files: its temporary copy and its destination.
#include "common/paths.h"
#include "common/text.h"
#include "engine/package.h"

namespace {
// A name taken from an install entry's field, whole, or false when it is empty
// or has no terminator inside the field.
bool entryName(const char* field, char* out) {
    size_t n = boundedLength(field, kEntryNameSize);
    if (n == 0 || n >= kEntryNameSize) return false;
    return copyText(out, kEntryNameSize, field);
}
}  // namespace

namespace {
// Where temporary copies go: NULL for "Temp" under the Windows folder, "" for
// nowhere (every temporary path fails), else a folder ending in a backslash.
const char* tempCopyFolder = NULL;
}  // namespace

void useTempCopyFolder(const char* folder) { tempCopyFolder = folder; }

bool tempPathFor(const FileEntry& entry, char* out, const char* otherName) {
    char name[kEntryNameSize];
    const char* folder = windowsFolder();
    bool ok = folder[0] != '\0' && (!tempCopyFolder || tempCopyFolder[0] != '\0');
    if (otherName)
        ok = ok && otherName[0] != '\0' && copyText(name, sizeof name, otherName);
    else
        ok = ok && entryName(entry.sourceName, name);
    if (ok && tempCopyFolder && formatText(out, MAX_PATH, "%s%s", tempCopyFolder, name)) return true;
    if (ok && !tempCopyFolder && formatText(out, MAX_PATH, "%sTemp\\%s", folder, name)) return true;
    out[0] = '\0';
    return false;
}

bool destinationPath(const FileEntry& entry, char* out) {
    char folder[MAX_PATH];
    char name[kEntryNameSize];
    if (!entryName(entry.destName, name) || !dirKindFolder(entry.dirKind, folder)) {
        out[0] = '\0';
        return false;
    }
    return joinPath(out, folder, name);
}
