#include <gtest/gtest.h>
#include "boxcatcher.h"
#include "common/text.h"
#include "common/paths.h"
#include "engine/install.h"
#include "shell/setupapp.h"
#include "common/dynlib.h"
#include "common/security.h"
#include "testutil.h"

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
    ASSERT_TRUE(tempPathFor(entry, temp, entry.destName));
    EXPECT_FALSE(fileExists(temp));
    // A file already under the backup's name is neither overwritten nor put back.
    writeFile(temp, "planted");
    EXPECT_FALSE(entry.testReplaceEntry(1));
    EXPECT_EQ("installed", readFile(dest));
    EXPECT_EQ("planted", readFile(temp));
    DeleteFileA(temp);
    tempPathFor(entry, temp);

    HANDLE held = CreateFileA(dest, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    copyText(setupApp->currentItem, MAX_PATH, "");
    EXPECT_FALSE(entry.testReplaceEntry(3));
    EXPECT_STREQ("zelto-unit.txt", setupApp->currentItem);
    CloseHandle(held);
    EXPECT_EQ("installed", readFile(dest));
}

// The run folder's copy of a file whose put-back failed is all that is left of
// it: it stays, named in the report, until a file is installed in its place.
TEST_F(EntryFixture, ABackupThatIsTheOnlyCopyOutlivesTheRunFolder) {
    std::string folder = windowsPath("Temp\\ZeltoUnitRun\\");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    useTempCopyFolder(folder.c_str());
    PackageSlot& slot = setupApp->packages[0];
    slot.installEntries[0] = entry;
    slot.installCount = 1;
    char copy[MAX_PATH];
    char backup[MAX_PATH];
    ASSERT_TRUE(tempPathFor(entry, copy) && tempPathFor(entry, backup, entry.destName));
    writeFile(copy, "packed");
    writeFile(backup, "saved");
    std::string report = windowsPath("zeltoInstall.txt");
    DeleteFileA(report.c_str());
    removeRunFolder(setupApp, folder.c_str());
    EXPECT_FALSE(fileExists(copy));
    EXPECT_EQ("saved", readFile(backup));
    std::string line = std::string("The only copy of ") + dest + " is " + backup + ".\r\n";
    std::string written = readFile(report);
    EXPECT_TRUE(written.size() > line.size() && written.compare(written.size() - line.size(), line.size(), line) == 0)
        << written;
    // Installed again: the backup is no longer the only copy, and goes with its folder.
    writeFile(dest, "installed");
    removeRunFolder(setupApp, folder.c_str());
    EXPECT_FALSE(fileExists(backup));
    EXPECT_FALSE(fileExists(folder.c_str()));
    useTempCopyFolder(NULL);
    RemoveDirectoryA(folder.c_str());
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
