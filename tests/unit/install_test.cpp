#include <gtest/gtest.h>
#include "boxcatcher.h"
#include "common/text.h"
#include "common/paths.h"
#include "engine/install.h"
#include "shell/setupapp.h"
#include "common/dynlib.h"
#include "common/security.h"
#include "testutil.h"
#include "common/systemcalls.h"
#include "engine/systemsettings.h"
#include "resources/exitcodes.h"
#include <cstdio>
#include <map>
#include <set>
#include <vector>

TEST(InstallArithmetic, CopyPercentAndTickWrap) {
    EXPECT_EQ(84, copyPercent(68714, 80961));
    EXPECT_EQ(100, copyPercent(80961, 80961));
    EXPECT_EQ(100, copyPercent(5, 0));  // no compressed total: no division by zero
    EXPECT_EQ(100, copyPercent(90000, 80961));
    EXPECT_EQ(50, copyPercent(1000000000, 2000000000));  // no 32-bit overflow
    EXPECT_EQ(0, copyPercent(-5, 100));
    EXPECT_EQ(100u, ticksSince(0xFFFFFFCEu, 50));  // across the wrap of the counter
}

namespace {
class EntryFixture : public ::testing::Test {
protected:
    void SetUp() override {
        memset(&entry, 0, sizeof entry);
        copyText(entry.sourceName, sizeof entry.sourceName, "small.sc_");
        copyText(entry.destName, sizeof entry.destName, "zelto-unit.txt");
        entry.dirKind = DirSystem;
        entry.timeStamp = 977984780;
        CreateDirectoryA(windowsPath("Temp").c_str(), NULL);
        tempPathFor(entry, temp);
        destinationPath(entry, dest);
        DeleteFileA(windowsPath("zelto.log").c_str());
    }
    void TearDown() override {
        SetFileAttributesA(dest, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(temp);
        DeleteFileA(dest);
        DeleteFileA(windowsPath("zelto.log").c_str());
    }
    TestApp app;
    FileEntry entry;
    char temp[MAX_PATH];
    char dest[MAX_PATH];
};
}  // namespace

TEST_F(EntryFixture, CopyExpandAndLog) {
    EXPECT_EQ(0u, extractFileResource("absent.sc_", temp));
    ASSERT_EQ(1u, extractFileResource("small.sc_", temp));
    entry.stampTempCopy(temp);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(temp, GetFileExInfoStandard, &data));
    ULARGE_INTEGER t;
    t.LowPart = data.ftLastWriteTime.dwLowDateTime;
    t.HighPart = data.ftLastWriteTime.dwHighDateTime;
    EXPECT_EQ(977984780ULL, t.QuadPart / 10000000ULL - 11644473600ULL);

    std::string original;
    for (int i = 1; i <= 200; ++i)
        original += "Line " + std::to_string(i) + " of the small test file for the expansion tests.\n";
    EXPECT_EQ(static_cast<LONG>(original.size()), expectedExpandedSize(temp));
    setMissingLibrariesForTest("lz32.dll");  // no expansion without it, and nothing left
    EXPECT_FALSE(entry.expandEntry());
    EXPECT_FALSE(fileExists(dest));
    setMissingLibrariesForTest(NULL);
    ASSERT_TRUE(entry.expandEntry());
    // Expanded beside its place, and put in only by the second step, after its log line.
    EXPECT_FALSE(fileExists(dest));
    EXPECT_EQ("<missing>", readFile(windowsPath("zelto.log")));
    ASSERT_TRUE(entry.placeEntry());
    EXPECT_FALSE(fileExists((std::string(dest) + ".zelto-new").c_str()));
    EXPECT_EQ(original, readFile(dest));
    EXPECT_EQ(std::string(dest) + " \r\n", readFile(windowsPath("zelto.log")));
    EXPECT_TRUE(entry.removeTempCopy());
    EXPECT_FALSE(fileExists(temp));
}

TEST_F(EntryFixture, ACutPackedFileIsNotInstalled) {
    ASSERT_EQ(1u, extractFileResource("cut.sc_", temp));
    EXPECT_FALSE(entry.expandEntry());
    EXPECT_FALSE(fileExists(dest));  // no cut file left where it would be loaded
    // Over an earlier installation the earlier file stays as it was.
    writeFile(dest, "earlier");
    EXPECT_FALSE(entry.expandEntry());
    EXPECT_EQ("earlier", readFile(dest));
    EXPECT_FALSE(fileExists((std::string(dest) + ".zelto-new").c_str()));
    DeleteFileA(dest);
    EXPECT_EQ("<missing>", readFile(windowsPath("zelto.log")));
    DeleteFileA(temp);
    EXPECT_FALSE(entry.expandEntry());  // no temporary copy at all
}

TEST_F(EntryFixture, AFileTheLogCannotNameIsTakenBackAndReported) {
    ASSERT_EQ(1u, extractFileResource("small.sc_", temp));
    std::string log = windowsPath("zelto.log");
    writeFile(log, "");
    HANDLE held = CreateFileA(log.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    PackageSlot& slot = setupApp->packages[0];
    slot.installEntries[0] = entry;
    slot.installCount = 1;
    auto boxes = boxesDuring([&] { EXPECT_TRUE(slot.expandPackage()); EXPECT_FALSE(slot.placePackage()); });
    CloseHandle(held);
    EXPECT_FALSE(fileExists((std::string(dest) + ".zelto-new").c_str()));
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(0u, boxes[0].text.find("Couldn't install zelto-unit.txt."));
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), boxes[0].style);
    EXPECT_FALSE(fileExists(dest));
    EXPECT_EQ("", readFile(log));
}

// A run that fails at its second file puts the first one's earlier file back
// and cuts the log to what it was; a run ended between the two moves of a file
// gets the earlier one back from the next.
TEST_F(EntryFixture, AFailedRunPutsEveryEarlierFileBack) {
    FileEntry second = entry;
    copyText(second.destName, sizeof second.destName, "zelto-unit2.txt");
    char dest2[MAX_PATH];
    ASSERT_TRUE(destinationPath(second, dest2));
    ASSERT_EQ(1u, extractFileResource("small.sc_", temp));
    writeFile(dest, "earlier");
    std::string log = windowsPath("zelto.log");
    writeFile(log, "C:\\listed.txt \r\n");
    CreateDirectoryA(dest2, NULL);  // the second file cannot be put in its place
    PackageSlot& slot = setupApp->packages[0];
    slot.installEntries[0] = entry;
    slot.installEntries[1] = second;
    slot.installCount = 2;
    setupApp->logLengthBefore = installLogLength();
    auto boxes = boxesDuring([&] { EXPECT_TRUE(slot.expandPackage()); EXPECT_FALSE(slot.placePackage()); });
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(0u, boxes[0].text.find("Couldn't install zelto-unit2.txt."));
    EXPECT_EQ("earlier", readFile(dest));
    EXPECT_EQ("C:\\listed.txt \r\n", readFile(log));
    for (const char* path : {dest, dest2})
        for (const char* side : {".zelto-new", ".zelto-old"})
            EXPECT_FALSE(fileExists((std::string(path) + side).c_str())) << path << side;
    RemoveDirectoryA(dest2);

    std::string aside = std::string(dest) + ".zelto-old";
    ASSERT_TRUE(MoveFileA(dest, aside.c_str()));
    writeFile(std::string(dest) + ".zelto-new", "cut");
    clearSideFiles(setupApp, dest);
    EXPECT_EQ("earlier", readFile(dest));
    EXPECT_FALSE(fileExists(aside.c_str()));
    EXPECT_FALSE(fileExists((std::string(dest) + ".zelto-new").c_str()));
    DeleteFileA(log.c_str());
}

TEST_F(EntryFixture, AFileOrFolderInTheWayFailsTheCopyAndStays) {
    CreateDirectoryA(temp, NULL);
    EXPECT_EQ(710u, extractFileResource("small.sc_", temp));
    RemoveDirectoryA(temp);
    writeFile(temp, "planted");
    SetFileAttributesA(temp, FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(710u, extractFileResource("small.sc_", temp));
    EXPECT_EQ("planted", readFile(temp));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY), GetFileAttributesA(temp) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(temp, FILE_ATTRIBUTE_NORMAL);
}

TEST_F(EntryFixture, ReplaceCheckOfReadOnlyAndHeldFiles) {
    EXPECT_TRUE(entry.testReplaceEntry(0));  // nothing installed yet
    writeFile(dest, "installed");
    SetFileAttributesA(dest, FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(entry.testReplaceEntry(0));
    EXPECT_EQ("installed", readFile(dest));  // put back from its backup
    std::string backup = std::string(dest) + ".zelto-old";
    EXPECT_FALSE(fileExists(backup.c_str()));
    // A backup that a run ended by force left beside the file goes first; one
    // with nothing in its place is the file, and comes back.
    writeFile(backup, "stale");
    EXPECT_TRUE(entry.testReplaceEntry(1));
    EXPECT_EQ("installed", readFile(dest));
    ASSERT_TRUE(MoveFileA(dest, backup.c_str()));
    EXPECT_TRUE(entry.testReplaceEntry(2));
    EXPECT_EQ("installed", readFile(dest));
    EXPECT_FALSE(fileExists(backup.c_str()));

    HANDLE held = CreateFileA(dest, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    copyText(setupApp->currentItem, MAX_PATH, "");
    EXPECT_FALSE(entry.testReplaceEntry(3));
    EXPECT_STREQ("zelto-unit.txt", setupApp->currentItem);
    CloseHandle(held);
    EXPECT_EQ("installed", readFile(dest));
}

// The run folder's security: a protected list of exactly two entries, full
// control for the administrators and for the system, passed on to files and
// folders inside. Without the security functions (Windows 95) there is none.
TEST(RunFolder, OnlyAdministratorsAndSystemNothingInherited) {
    PrivateSecurity security;
    ASSERT_TRUE(buildPrivateSecurity(&security));
    PSECURITY_DESCRIPTOR descriptor = security.attributes.lpSecurityDescriptor;
    ASSERT_TRUE(IsValidSecurityDescriptor(descriptor));
    EXPECT_EQ(sizeof(SECURITY_ATTRIBUTES), security.attributes.nLength);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_EQ(SE_DACL_PROTECTED | SE_DACL_PRESENT, control & (SE_DACL_PROTECTED | SE_DACL_PRESENT | SE_DACL_DEFAULTED));
    BOOL present = FALSE;
    BOOL defaulted = TRUE;
    PACL list = NULL;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted));
    ASSERT_TRUE(present && list && IsValidAcl(list));
    ASSERT_EQ(2, list->AceCount);
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    PSID expected[2] = {NULL, NULL};
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                         0, 0, 0, 0, 0, 0, &expected[0]));
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                         &expected[1]));
    for (DWORD i = 0; i < 2; ++i) {
        ACCESS_ALLOWED_ACE* ace = NULL;
        ASSERT_TRUE(GetAce(list, i, reinterpret_cast<LPVOID*>(&ace)));
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
        EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, ace->Header.AceFlags);
        EXPECT_EQ(static_cast<DWORD>(FILE_ALL_ACCESS), ace->Mask);
        EXPECT_TRUE(EqualSid(&ace->SidStart, expected[i])) << "entry " << i;
    }
    FreeSid(expected[0]);
    FreeSid(expected[1]);
    std::string folder = windowsPath("Temp\\ZeltoUnitPrivate");
    EXPECT_TRUE(CreateDirectoryA(folder.c_str(), &security.attributes));
    RemoveDirectoryA(folder.c_str());

    setMissingLibrariesForTest("advapi32.dll");
    EXPECT_FALSE(buildPrivateSecurity(&security));
    setMissingLibrariesForTest(NULL);
    EXPECT_NE(unguessableNumber(), unguessableNumber());
}

TEST(InstallRun, RefusedWithoutBytesToInstall) {
    TestApp app;
    BoxCatcher catcher;
    setupApp->installExpandedBytes = 0;
    EXPECT_EQ(-1, setupApp->runInstall());
    EXPECT_TRUE(catcher.boxes().empty());
    EXPECT_EQ(nullptr, setupApp->progressDialog);
}

// ---------------------------------------------------------------- all or nothing
// Every call of an install run that changes the system fails in turn, with a
// full disk, access denied or a sharing violation: a run that reports failure
// leaves the machine as it found it, one that reports success leaves it as a
// clean run does, and the next clean run gives that state in every case. For
// a first install and for a reinstall over files, log, uninstaller and entry
// of other bytes. Files named for deletion at the restart count as gone.
namespace {
struct Calls {
    int count, failAt;
    DWORD error;
    std::string failed;
    std::vector<std::string> order;  // flushes, moves and deletions, with their paths
    std::map<HANDLE, std::string> paths;
} calls;

bool failsNow(const char* name, const std::string& what) {
    if (++calls.count != calls.failAt) return false;
    calls.failed = std::string(name) + " " + what;
    SetLastError(calls.error);
    return true;
}
std::string pathOf(HANDLE file) { return calls.paths.count(file) ? calls.paths[file] : "?"; }
std::string text(LPCSTR p) { return p ? p : "(none)"; }

HANDLE WINAPI countedCreateFile(LPCSTR p, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD c, DWORD f, HANDLE t) {
    if (failsNow("CreateFileA", p)) return INVALID_HANDLE_VALUE;
    HANDLE file = kSystemCalls.CreateFileA(p, a, s, sa, c, f, t);
    if (file != INVALID_HANDLE_VALUE) calls.paths[file] = p;
    return file;
}
BOOL WINAPI countedWrite(HANDLE h, LPCVOID b, DWORD n, LPDWORD w, LPOVERLAPPED o) {
    return !failsNow("WriteFile", pathOf(h)) && kSystemCalls.WriteFile(h, b, n, w, o);
}
BOOL WINAPI countedFlush(HANDLE h) {
    if (failsNow("FlushFileBuffers", pathOf(h))) return FALSE;
    calls.order.push_back("flush " + pathOf(h));
    return kSystemCalls.FlushFileBuffers(h);
}
BOOL WINAPI countedSetEnd(HANDLE h) { return !failsNow("SetEndOfFile", pathOf(h)) && kSystemCalls.SetEndOfFile(h); }
BOOL WINAPI countedDelete(LPCSTR p) {
    if (failsNow("DeleteFileA", p)) return FALSE;
    calls.order.push_back(std::string("delete ") + p);
    return kSystemCalls.DeleteFileA(p);
}
BOOL WINAPI countedMove(LPCSTR a, LPCSTR b) {
    if (failsNow("MoveFileA", a)) return FALSE;
    calls.order.push_back(std::string("move ") + a + ">" + b);
    return kSystemCalls.MoveFileA(a, b);
}
BOOL WINAPI countedMoveEx(LPCSTR a, LPCSTR b, DWORD f) {
    if (failsNow("MoveFileExA", a)) return FALSE;
    calls.order.push_back(std::string("move ") + a + ">" + text(b));
    return kSystemCalls.MoveFileExA(a, b, f);
}
BOOL WINAPI countedCopy(LPCSTR a, LPCSTR b, BOOL x) { return !failsNow("CopyFileA", b) && kSystemCalls.CopyFileA(a, b, x); }
BOOL WINAPI countedAttributes(LPCSTR p, DWORD a) { return !failsNow("SetFileAttributesA", p) && kSystemCalls.SetFileAttributesA(p, a); }
BOOL WINAPI countedMakeFolder(LPCSTR p, LPSECURITY_ATTRIBUTES s) { return !failsNow("CreateDirectoryA", p) && kSystemCalls.CreateDirectoryA(p, s); }
BOOL WINAPI countedRemoveFolder(LPCSTR p) { return !failsNow("RemoveDirectoryA", p) && kSystemCalls.RemoveDirectoryA(p); }
LONG WINAPI countedRegCreate(HKEY r, LPCSTR p, PHKEY k) {
    return failsNow("RegCreateKeyA", p) ? LONG(calls.error) : kSystemCalls.RegCreateKeyA(r, p, k);
}
LONG WINAPI countedRegSet(HKEY k, LPCSTR n, DWORD r, DWORD t, const BYTE* d, DWORD s) {
    return failsNow("RegSetValueExA", n) ? LONG(calls.error) : kSystemCalls.RegSetValueExA(k, n, r, t, d, s);
}
LONG WINAPI countedRegDeleteValue(HKEY k, LPCSTR n) {
    return failsNow("RegDeleteValueA", n) ? LONG(calls.error) : kSystemCalls.RegDeleteValueA(k, n);
}
LONG WINAPI countedRegDeleteKey(HKEY k, LPCSTR n) {
    return failsNow("RegDeleteKeyA", n) ? LONG(calls.error) : kSystemCalls.RegDeleteKeyA(k, n);
}
BOOL WINAPI countedIni(LPCSTR a, LPCSTR b, LPCSTR c, LPCSTR d) {
    return !failsNow("WritePrivateProfileStringA", text(b)) && kSystemCalls.WritePrivateProfileStringA(a, b, c, d);
}
const SystemCalls kCountedCalls = {
    countedCreateFile, countedWrite,      countedFlush,        countedSetEnd,
    countedDelete,     countedMove,       countedMoveEx,       countedCopy,
    countedAttributes, countedMakeFolder, countedRemoveFolder, countedRegCreate,
    countedRegSet,     countedRegDeleteValue, countedRegDeleteKey, countedIni,
};

// A file's bytes, short: their count and a hash. Of the log, its lines as a
// set: a log that could not be read when a path was added gains that path's
// line a second time, which names the same file.
std::string digest(std::string bytes, bool lines = false) {
    if (bytes == "<missing>") return bytes;
    if (lines) {
        std::set<std::string> set;
        for (size_t at = 0, end; at < bytes.size(); at = end + 1) {
            end = bytes.find('\n', at);
            if (end == std::string::npos) end = bytes.size();
            set.insert(bytes.substr(at, end - at));
        }
        bytes.clear();
        for (const std::string& line : set) bytes += line + "\n";
    }
    unsigned hash = 2166136261u;
    for (unsigned char c : bytes) hash = (hash ^ c) * 16777619u;
    return std::to_string(bytes.size()) + " bytes, " + std::to_string(hash);
}

std::string entryKeyPath() { std::string k = kUninstallKey; return k.substr(0, k.size() - 1); }

// Every value of a key as name=type:bytes lines; except one name.
std::string keyValues(HKEY root, const std::string& path, const char* except = "") {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return "(no key)\n";
    std::string values;
    char name[300];
    BYTE data[1200];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name, size = sizeof data, type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, NULL, &type, data, &size) != ERROR_SUCCESS) break;
        if (lstrcmpiA(name, except) == 0) continue;
        values += std::string(name) + "=" + std::to_string(type) + ":" + std::string((char*)data, size) + "\n";
    }
    RegCloseKey(key);
    return values;
}

struct Sweep {
    std::vector<std::string> files;  // the product's files, with their side names
    // What the machine holds of the product, but the report and the retry.
    std::string snapshot() {
        std::string pending = pendingRenames(), state;
        auto gone = [&](const std::string& p) { return pending.find("\\??\\" + p + "|") != std::string::npos; };
        for (const std::string& file : files)
            for (const char* side : {"", ".zelto-new", ".zelto-old"})
                state += file + side + "=" +
                         (gone(file + side) ? "<missing>" : digest(readFile(file + side), file == files[2])) + "\n";
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(windowsPath("Temp\\*").c_str(), &found);
        for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
            if (found.cFileName[0] != '.' && !gone(windowsPath("Temp\\") + found.cFileName))
                state += std::string("in Temp: ") + found.cFileName + "\n";
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
        return state + keyValues(HKEY_LOCAL_MACHINE, entryKeyPath()) +
               keyValues(HKEY_CURRENT_USER, kRunOnceKey, "vimbaInstall");
    }
    // Clears every trace of a run, then lays down seed (path, bytes) and the entry's values.
    void reset(const std::vector<std::pair<std::string, std::string>>& seed, bool entry) {
        for (const std::string& file : files)
            for (const char* side : {"", ".zelto-new", ".zelto-old"}) {
                SetFileAttributesA((file + side).c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA((file + side).c_str());
            }
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(windowsPath("Temp\\Zelto*").c_str(), &found);
        for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
            std::string folder = windowsPath("Temp\\") + found.cFileName;
            for (const char* name : {"\\small.sc_"}) DeleteFileA((folder + name).c_str());
            RemoveDirectoryA(folder.c_str());
        }
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
        DeleteFileA(windowsPath(kRetryInstallerName).c_str());  // the run begins from the same state
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                          KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, "PendingFileRenameOperations");
            RegCloseKey(key);
        }
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, entryKeyPath().c_str());
        for (const auto& file : seed) writeFile(file.first, file.second);
        if (entry && RegCreateKeyA(HKEY_LOCAL_MACHINE, entryKeyPath().c_str(), &key) == ERROR_SUCCESS) {
            RegSetValueExA(key, "DisplayName", 0, REG_SZ, (const BYTE*)"Old name", 9);
            RegSetValueExA(key, "DisplayVersion", 0, REG_SZ, (const BYTE*)"0.9", 4);
            RegCloseKey(key);
        }
        setupApp->exitStatus = ExitFailed;
    }
    signed char run(int failAt, DWORD error) {
        calls.count = 0;
        calls.failAt = failAt;
        calls.error = error;
        calls.failed.clear();
        calls.order.clear();
        systemCalls = &kCountedCalls;
        signed char result = setupApp->runInstall();
        systemCalls = &kSystemCalls;
        return result;
    }
    // Whether the step came after one that says A in the recorded order.
    static bool after(size_t step, const std::string& a) {
        for (size_t i = 0; i < step; ++i)
            if (calls.order[i] == a) return true;
        return false;
    }
    void sweep(const char* name, const std::vector<std::pair<std::string, std::string>>& seed, bool entry,
               const std::string& log) {
        reset(seed, entry);
        std::string before = snapshot();
        ASSERT_EQ(1, run(0, 0)) << name;
        int operations = calls.count;
        std::string clean = snapshot();
        // A power cut at any moment: every new file is on the disk before it is
        // put in place, after the log line naming it; every backup before the
        // file it keeps is deleted.
        for (size_t i = 0; i < calls.order.size(); ++i) {
            const std::string& step = calls.order[i];
            size_t arrow = step.find(".zelto-new>");
            if (step.compare(0, 5, "move ") == 0 && arrow != std::string::npos) {
                std::string fresh = step.substr(5, arrow + 10 - 5);
                EXPECT_TRUE(after(i, "flush " + fresh)) << name << ": " << step;
                bool installed = fresh == files[0] + ".zelto-new" || fresh == files[1] + ".zelto-new";
                if (installed && !log.empty()) EXPECT_TRUE(after(i, "flush " + log)) << name << ": " << step;
            }
            for (const std::string& file : files)
                if (step == "delete " + file && !after(i, "move " + file + ".zelto-new>" + file))
                    EXPECT_TRUE(after(i, "flush " + file + ".zelto-old")) << name << ": " << step;
        }
        const DWORD errors[3] = {ERROR_DISK_FULL, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION};
        int compared = 0;
        for (int n = 1; n <= operations; ++n) {
            reset(seed, entry);
            signed char result = run(n, errors[n % 3]);
            ASSERT_GE(calls.count, n) << name;  // the run came to the call that failed
            EXPECT_EQ(result == 1 ? clean : before, snapshot())
                << name << ": call " << n << " failed (" << calls.failed << "), the run answered " << int(result);
            EXPECT_EQ(1, run(0, 0)) << name << " after call " << n;
            EXPECT_EQ(clean, snapshot()) << name << ": the run after call " << n << " (" << calls.failed << ")";
            compared += 2;
        }
        std::printf("%s: %d calls, %d states compared\n", name, operations, compared);
    }
};
}  // namespace

TEST_F(EntryFixture, EveryFailingCallLeavesTheMachineAsBeforeOrAsAfter) {
    FileEntry second = entry;
    copyText(second.destName, sizeof second.destName, "zelto-unit2.txt");
    char dest2[MAX_PATH];
    ASSERT_TRUE(destinationPath(second, dest2));
    PackageSlot& slot = setupApp->packages[0];
    slot.installEntries[0] = entry;
    slot.installEntries[1] = second;
    slot.installCount = 2;
    setupApp->installExpandedBytes = 20000;
    setupApp->installCompressedBytes = 4000;
    setupApp->unattended = true;
    setupApp->componentActivate[0] = false;
    std::string program = windowsPath("zelto-unit-program.bin");
    writeFile(program, "the program, second edition");
    setupApp->programFile = CreateFileA(program.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, setupApp->programFile);
    std::string log = windowsPath("zelto.log");
    std::string uninstaller = windowsPath(kUninstallerName);
    Sweep sweep;
    sweep.files = {dest, dest2, log, uninstaller};
    sweep.sweep("first install", {}, false, log);
    sweep.sweep("reinstall",
                {{dest, "earlier 1"}, {dest2, "earlier 2"}, {uninstaller, "earlier uninstaller"},
                 {log, std::string(dest) + " \r\n" + dest2 + " \r\n"}},
                true, "");
    sweep.reset({}, false);
    DeleteFileA(windowsPath(kRetryInstallerName).c_str());
    CloseHandle(setupApp->programFile);
    setupApp->programFile = INVALID_HANDLE_VALUE;
    DeleteFileA(program.c_str());
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunOnceKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "vimbaInstall");
        RegCloseKey(key);
    }
}
