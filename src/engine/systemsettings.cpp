#include "engine/systemsettings.h"
#include "common/systemcalls.h"
#include "engine/install.h"
#include "common/dynlib.h"
#include "common/errors.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/text.h"
#include "resources/resource.h"
#include "resources/version.h"
#include "shell/setupapp.h"

#define UNINSTALL_PARENT_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
const char kUninstallKey[] = UNINSTALL_PARENT_KEY "\\" ZELTO_PRODUCT_CODE "\\";
namespace {
const char kUninstallParentKey[] = UNINSTALL_PARENT_KEY;
// The answer of the rights check in tests: -1 asks the system.
int rightsForTest = -1;
}  // namespace
const char kProductKey[] = "Software\\Ostrell Zuvak\\vimbaTressil\\";
#define RUN_ONCE_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"
const char kRunOnceKey[] = RUN_ONCE_KEY;
const char kRunOnceValuePath[] = RUN_ONCE_KEY "\\vimbaInstall";
const char kUninstallerName[] = "vmbUninst.exe";
const char kRetryInstallerName[] = "Zelto2000Setup.exe";

bool isUninstallerCopy(const char* programPath) {
    return findTextNoCase(programPath, kUninstallerName) != 0;
}

namespace {
// A copy of the program in the Windows folder under name; false when it has no path.
bool windowsFolderCopyPath(const char* name, char* out) {
    char folder[MAX_PATH];
    return dirKindFolder(DirWindows, folder) && joinPath(out, folder, name);
}

bool uninstallerPath(char* out) { return windowsFolderCopyPath(kUninstallerName, out); }
bool retryCopyPath(char* out) { return windowsFolderCopyPath(kRetryInstallerName, out); }
}  // namespace

bool isWindowsFolderCopy(const char* programPath) {
    char copy[MAX_PATH];
    // A program started by its short (8.3) name is given that name as its path,
    // and either folder may come in either form: when the names differ, the
    // short forms of the two files are compared as well.
    char programShort[MAX_PATH];
    char copyShort[MAX_PATH];
    bool hasShort = shortPathOf(programPath, programShort);
    const char* names[2] = {kUninstallerName, kRetryInstallerName};
    for (const char* name : names) {
        if (!windowsFolderCopyPath(name, copy)) continue;
        if (lstrcmpiA(copy, programPath) == 0) return true;
        if (hasShort && shortPathOf(copy, copyShort) && lstrcmpiA(copyShort, programShort) == 0)
            return true;
    }
    return false;
}

bool writeProductValue(const char* valueName, const void* data, RegValueCode code) {
    char fullPath[MAX_PATH];
    if (!formatText(fullPath, sizeof fullPath, "%s%s", kProductKey, valueName)) return false;
    return writeRegistryValue(fullPath, data, code);
}

namespace {
// The values of the product's entry in the list of installed programs, one
// after another (each ending in NUL): the numbers first, then the texts, and
// last those that name the uninstaller's copy.
const char kEntryValueNames[] =
    "EstimatedSize\0NoModify\0NoRepair\0DisplayName\0DisplayVersion\0Publisher\0"
    "UninstallString\0QuietUninstallString\0DisplayIcon\0";
enum { kEntryNumbers = 3, kEntryValuesWithoutPath = 6, kEntryValueCount = 9 };
}  // namespace

namespace {
// A value of the entry as the run found it. A value too long to keep here is
// left as the run leaves it.
enum EntryValueState : BYTE { ValueAbsent, ValueKept, ValueNotKept };
struct EntryValue {
    EntryValueState state;
    DWORD type;
    DWORD size;
    BYTE bytes[MAX_PATH + 16];
};

// The entry's key path without its closing backslash.
void entryKeyPath(char* path) { lstrcpynA(path, kUninstallKey, sizeof kUninstallKey - 1); }

void saveEntryValues(EntryValue* saved) {
    char path[sizeof kUninstallKey];
    entryKeyPath(path);
    HKEY key = NULL;
    LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key);
    const char* name = kEntryValueNames;
    for (int i = 0; i < kEntryValueCount; ++i, name += lstrlenA(name) + 1) {
        EntryValue& value = saved[i];
        value.size = sizeof value.bytes;
        LONG r = opened == ERROR_SUCCESS
                     ? RegQueryValueExA(key, name, NULL, &value.type, value.bytes, &value.size)
                     : opened;
        value.state = r == ERROR_SUCCESS ? ValueKept
                      : r == ERROR_FILE_NOT_FOUND ? ValueAbsent : ValueNotKept;
    }
    if (opened == ERROR_SUCCESS) RegCloseKey(key);
}

// A run that failed after it wrote some of the entry's values puts back those
// it found (and deletes those it made): an earlier installation's entry stays
// as it was. An entry that no uninstaller is left for goes after the run.
void restoreEntryValues(const EntryValue* saved) {
    char path[sizeof kUninstallKey];
    entryKeyPath(path);
    HKEY key = NULL;
    if (systemCalls->RegCreateKeyA(HKEY_LOCAL_MACHINE, path, &key) != ERROR_SUCCESS) return;
    const char* name = kEntryValueNames;
    for (int i = 0; i < kEntryValueCount; ++i, name += lstrlenA(name) + 1) {
        const EntryValue& value = saved[i];
        if (value.state == ValueAbsent)
            systemCalls->RegDeleteValueA(key, name);
        else if (value.state == ValueKept)
            systemCalls->RegSetValueExA(key, name, 0, value.type, value.bytes, value.size);
    }
    RegCloseKey(key);
}
}  // namespace

bool writeUninstallEntry() {
    // What the values were, to put them back: an entry that could not be put
    // back is not written.
    EntryValue* saved = static_cast<EntryValue*>(
        HeapAlloc(GetProcessHeap(), 0, kEntryValueCount * sizeof(EntryValue)));
    if (!saved) return false;
    saveEntryValues(saved);
    // The size the list shows, in KB: the chosen files as the header gives
    // them expanded, rounded up.
    DWORD bytes = static_cast<DWORD>(setupApp->installExpandedBytes);
    DWORD kilobytes = (bytes >> 10) + ((bytes & 1023) != 0);
    DWORD one = 1;
    char program[MAX_PATH];
    char command[MAX_PATH + 16];
    char quietCommand[MAX_PATH + 16];
    char icon[MAX_PATH + 8];
    const void* data[kEntryValueCount] = {&kilobytes, &one, &one,
                                          ZELTO_DISPLAY_NAME, ZELTO_VERSION_TEXT,
                                          ZELTO_PUBLISHER, command, quietCommand, icon};
    // Without its folder, or cut, a command would start some other program:
    // then the entry names no uninstaller at all.
    int count = uninstallerPath(program) &&
                        formatCommandLine(command, sizeof command, program, "UNINSTALL") &&
                        formatCommandLine(quietCommand, sizeof quietCommand, program,
                                          "UNINSTALL /S") &&
                        formatCommandLine(icon, sizeof icon, program, NULL) &&
                        appendToText(icon, sizeof icon, ",0")
                    ? kEntryValueCount
                    : kEntryValuesWithoutPath;
    char fullPath[MAX_PATH];
    const char* name = kEntryValueNames;
    bool written = count == kEntryValueCount;
    for (int i = 0; i < count; ++i, name += lstrlenA(name) + 1) {
        if (!formatText(fullPath, sizeof fullPath, "%s%s", kUninstallKey, name) ||
            !writeRegistryValue(fullPath, data[i],
                                i < kEntryNumbers ? RegMachineNumber : RegMachineText))
            written = false;
    }
    if (!written) restoreEntryValues(saved);
    HeapFree(GetProcessHeap(), 0, saved);
    return written;
}

namespace {
// Deletes the retry copy, or names it for deletion at the next start of Windows
// while another program holds it.
void deleteRetryCopy(const char* copy) {
    if (fileExists(copy) && !deleteFileWritable(copy)) deleteAtRestart(copy);
}
}  // namespace

void setRunOnceEntry(SetupApp* app, bool set) {
    char copy[MAX_PATH];
    char text[MAX_PATH + 8] = "";  // quotes, " /S"
    bool haveCopyPath = retryCopyPath(copy);
    // A program without a name in the code page is not in the Windows folder.
    bool runningCopy = haveCopyPath && lstrcmpiA(app->programPath, copy) == 0;
    if (set && haveCopyPath) {
        // The next logon starts, with the rights of whoever logs on, the file
        // named here: never the installer where the user started it (a download,
        // shared or removable folder that others may write), but its copy in the
        // Windows folder, which only administrators may change. Without that copy
        // the value stays empty, and an older or cut copy goes: message 1160
        // already asks the user to run the installer again. An unattended run
        // comes back unattended; a command line that does not fit is left empty
        // rather than cut.
        // A copy once held past a run's end was named for deletion at the next
        // restart: the one written now must outlive it.
        // The copy is the bytes the checksum test read, from the file held since the start.
        // It is written beside its place and put in whole.
        if (runningCopy || (placeCopyOfProgram(app, copy) && cancelRestartDeletion(copy))) {
            if (!runningCopy) keepInPlace(app, copy);
            formatCommandLine(text, sizeof text, copy, app->unattended ? "/S" : NULL);
        } else {
            takeBack(app, copy, false);
            deleteRetryCopy(copy);
        }
    } else if (!set && runningCopy) {
        // A running program cannot delete its own file: it goes after the exit.
        app->selfDeleteOnExit = true;
    } else if (!set && haveCopyPath) {
        deleteRetryCopy(copy);
    }
    writeRegistryValue(kRunOnceValuePath, text, RegUserText);
}

void dropRetryInstall() {
    char copy[MAX_PATH];
    if (!retryCopyPath(copy) || !fileExists(copy)) return;
    deleteRetryCopy(copy);
    writeRegistryValue(kRunOnceValuePath, "", RegUserText);
}

namespace {
// The screen saver setting of "system.ini" [boot]. Windows NT, 2000 and XP read it
// from the user's desktop settings instead, under the same value name.
const char kIniFile[] = "system.ini";
const char kIniSection[] = "boot";
#define SAVER_VALUE "SCRNSAVE.EXE"
#define DESKTOP_KEY "Control Panel\\Desktop"
const char kSaverValue[] = SAVER_VALUE;
const char kDesktopKey[] = DESKTOP_KEY;
const char kDesktopSaverPath[] = DESKTOP_KEY "\\" SAVER_VALUE;

bool ntFamily(const SetupApp* app) { return app->osKind >= OsWindowsNT4; }

// On 64-bit Windows, the folder where this 32-bit program's files in its system
// folder really are, as a 64-bit program (the one that starts screen savers)
// names it: the system folder this program sees leads 64-bit programs to
// another folder. False on 32-bit Windows and on systems that predate 64-bit ones.
bool wow64SystemFolder(char* out) {
    const Wow64Library* wow64 = wow64Library();
    BOOL redirected = FALSE;
    if (!wow64 || !wow64->IsWow64Process(GetCurrentProcess(), &redirected) || !redirected)
        return false;
    UINT n = wow64->GetSystemWow64DirectoryA(out, MAX_PATH);
    return n > 0 && n < MAX_PATH && ensureTrailingBackslash(out, MAX_PATH);
}

// The installed screen saver's path through the system folder, or through that
// folder of 64-bit Windows (false elsewhere), and its short form; false when the
// long path does not fit. The short form is empty while the file cannot be found.
bool productSaverPaths(bool wow64, char* path, char* shortPath) {
    shortPath[0] = '\0';
    char folder[MAX_PATH];
    if (!(wow64 ? wow64SystemFolder(folder) : dirKindFolder(DirSystem, folder)) ||
        !joinPath(path, folder, "Zelto 2000.scr"))
        return false;
    shortPathOf(path, shortPath);
    return true;
}

// Whether a setting names the installed saver: through either folder (the
// Screen Saver dialog of 64-bit Windows names it through the 64-bit one), long
// or short, in any letter case.
bool namesProductSaver(const char* value) {
    char path[MAX_PATH];
    char shortPath[MAX_PATH];
    for (int wow64 = 0; wow64 < 2; ++wow64)
        if (value[0] && productSaverPaths(wow64, path, shortPath) &&
            (lstrcmpiA(value, path) == 0 || (shortPath[0] && lstrcmpiA(value, shortPath) == 0)))
            return true;
    return false;
}

// The text of HKEY_CURRENT_USER\Control Panel\Desktop\SCRNSAVE.EXE; false when
// there is none, it is no text, or it does not fit.
bool readDesktopSaver(char* value, DWORD capacity) {
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = capacity - 1;  // room for a terminator the stored text may lack
    LONG r = RegQueryValueExA(key, kSaverValue, NULL, &type, reinterpret_cast<BYTE*>(value),
                              &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_SZ) return false;
    value[size] = '\0';
    return true;
}
}  // namespace

bool activateScreenSaver(SetupApp* app) {
    if (!app->componentActivate[0]) return true;
    char path[MAX_PATH];
    char shortPath[MAX_PATH];
    // The setting names the saver as the program that starts it finds it.
    if (!(productSaverPaths(true, path, shortPath) || productSaverPaths(false, path, shortPath)) ||
        !shortPath[0])
        return true;
    systemCalls->WritePrivateProfileStringA(kIniSection, kSaverValue, shortPath, kIniFile);
    if (ntFamily(app)) writeRegistryValue(kDesktopSaverPath, shortPath, RegUserText);
    // Without SPIF_UPDATEINIFILE the switch would last only until the user logs off.
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, NULL,
                          SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
    return true;
}

void restoreScreenSaver(SetupApp* app) {
    // Only a setting that still names the product's saver is emptied: a saver the
    // user chose since stays chosen. A value cut to the buffer matches no path.
    char value[MAX_PATH + 1];
    GetPrivateProfileStringA(kIniSection, kSaverValue, "", value, sizeof value, kIniFile);
    if (namesProductSaver(value))
        systemCalls->WritePrivateProfileStringA(kIniSection, kSaverValue, "", kIniFile);
    if (ntFamily(app) && readDesktopSaver(value, sizeof value) && namesProductSaver(value))
        writeRegistryValue(kDesktopSaverPath, "", RegUserText);
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, NULL, SPIF_SENDWININICHANGE);
}

bool installUninstaller(SetupApp* app) {
    char destination[MAX_PATH];
    // The uninstall entry starts this copy: it is written only once the copy is
    // there, and a copy that could not be written fails the install like any
    // file that could not be installed. It is written from the file held since
    // the start, whatever may stand under its name now, beside its place, and
    // put in only when whole: an earlier uninstaller stays until the run is over.
    bool named = uninstallerPath(destination);
    if (!named || !placeCopyOfProgram(app, destination)) {
        app->noteWriteFailure();
        if (named) takeBack(app, destination, false);
        app->takeBackInstall();
        reportErrorById(IDS_NO_INSTALL, kUninstallerName);
        return false;
    }
    noteChange("File installed:", destination);
    if (!writeUninstallEntry()) {
        takeBack(app, destination, true);
        app->takeBackInstall();
        reportErrorById(IDS_NO_INSTALL, kUninstallKey);
        return false;
    }
    keepInPlace(app, destination);
    activateScreenSaver(app);
    return true;
}

bool hasAdministratorRights(const SetupApp* app) {
    if (rightsForTest >= 0) return rightsForTest != 0;
    if (!ntFamily(app)) return true;  // Windows 9x knows no rights
    // The key every program's uninstall entry goes under lets only the
    // administrators and the system write: opened for writing, the system's
    // access check answers whether this process's token is an administrator's
    // (a filtered token under UAC, or a standard user's, is refused).
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallParentKey, 0, KEY_CREATE_SUB_KEY | KEY_SET_VALUE,
                      &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void setAdministratorRightsForTest(int answer) { rightsForTest = answer; }

void dropUninstallEntryWithoutUninstaller() {
    char uninstaller[MAX_PATH];
    // Without the Windows folder nothing can be said about the uninstaller: keep the entry.
    if (!uninstallerPath(uninstaller)) return;
    DWORD attributes = GetFileAttributesA(uninstaller);
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    deleteUninstallEntry();
}

bool deleteUninstallEntry() {
    bool deleted = true;
    for (const char* name = kEntryValueNames; *name; name += lstrlenA(name) + 1)
        if (!deleteRegistryValue(kUninstallKey, name, true)) deleted = false;
    // The key was made for these values: it goes with them, unless something
    // else was put in it (Windows 9x would delete a key with all below it).
    char path[sizeof kUninstallKey];
    lstrcpynA(path, kUninstallKey, sizeof path - 1);  // without the closing backslash
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return deleted;
    DWORD subkeys = 1;
    DWORD values = 1;
    LONG r = RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL,
                              NULL, NULL);
    RegCloseKey(key);
    if (r == ERROR_SUCCESS && subkeys == 0 && values == 0) systemCalls->RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
    return deleted;
}
