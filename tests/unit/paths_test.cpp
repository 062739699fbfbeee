#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "common/paths.h"
#include "engine/package.h"
#include "testutil.h"

TEST(FindTextNoCase, PositionsIgnoringCase) {
    EXPECT_EQ(1, findTextNoCase("C:\\WINDOWS\\VMBUNINST.EXE", "c:\\windows\\vmbuninst.exe"));
    EXPECT_EQ(15, findTextNoCase("C:\\WINDOWS\\vmbUninst.exe", "uninst"));
    EXPECT_EQ(0, findTextNoCase("short", "a longer pattern"));
    EXPECT_EQ(1, findTextNoCase("anything", ""));
    EXPECT_EQ(1, findTextNoCase("", ""));
    EXPECT_EQ(0, findTextNoCase("C:\\WINDOWS\\vmbUninst2.exe", "vmbUninst.exe"));
    // a byte above 127 is a letter of whichever code page Windows runs: only itself matches
    EXPECT_EQ(0, findTextNoCase("C:\\\xDC\\\xC0", "c:\\\xFC\\\xE0"));
    // part of a longer listed path counts as found
    EXPECT_NE(0, findTextNoCase("C:\\W\\SYSTEM\\Zelto 2000.Scr \r\n", "c:\\w\\system\\zelto 2000.sc"));
    // the counted form stops at its length, even without a terminator
    const char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(3, findTextNoCaseN(unterminated, 4, "CD"));
    EXPECT_EQ(0, findTextNoCaseN(unterminated, 3, "CD"));
}

TEST(FolderHelpers, FolderOfPathTrailingBackslashAndSplit) {
    char out[MAX_PATH];
    EXPECT_TRUE(folderOfPath("C:\\Program Files\\Setup\\setup.exe", out));
    EXPECT_STREQ("C:\\Program Files\\Setup\\", out);
    EXPECT_TRUE(folderOfPath("C:\\setup.exe", out));
    EXPECT_STREQ("C:\\", out);  // a program in a drive's root
    EXPECT_FALSE(folderOfPath("setup.exe", out));
    EXPECT_STREQ("setup.exe", out);
    EXPECT_FALSE(folderOfPath("\\setup.exe", out));

    char path[MAX_PATH] = "C:\\WINDOWS\\";
    ensureTrailingBackslash(path, sizeof path);
    EXPECT_STREQ("C:\\WINDOWS\\", path);
    strcpy(path, "C:\\WINDOWS");
    ensureTrailingBackslash(path, sizeof path);
    EXPECT_STREQ("C:\\WINDOWS\\", path);
    path[0] = '\0';
    ensureTrailingBackslash(path, sizeof path);
    EXPECT_STREQ("\\", path);
    // a full buffer gets no backslash rather than an overrun
    std::string full(MAX_PATH - 1, 'a');
    strcpy(path, full.c_str());
    EXPECT_FALSE(ensureTrailingBackslash(path, sizeof path));
    EXPECT_EQ(full, path);

    char key[MAX_PATH] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\vimbaInstall";
    char last[MAX_PATH];
    splitLastComponent(key, last);
    EXPECT_STREQ("Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", key);
    EXPECT_STREQ("vimbaInstall", last);
}

TEST(FolderHelpers, DoubleByteCharactersEndingInABackslashByte) {
    // Characters whose second byte is that of "\\" (932 "\x95\x5C", 936 "\x81\x5C",
    // 950 "\xB3\x5C") are one character each; in 1252 the same bytes are two.
    const struct {
        UINT codePage;
        const char *path, *folder, *last;
    } cases[] = {{932, "C:\\\x95\x5C\\\x95\x5C", "C:\\\x95\x5C\\", "\x95\x5C"},
                 {936, "C:\\a\x81\x5C", "C:\\", "a\x81\x5C"},
                 {950, "C:\\\xB3\x5C\\\xB3\x5C", "C:\\\xB3\x5C\\", "\xB3\x5C"},
                 {1252, "C:\\a\\\x95\x5C", "C:\\a\\\x95\\", ""},
                 {932, "C:\\a\x95", "C:\\", "a\x95"}};  // a lead byte before the end
    char out[MAX_PATH];
    char last[MAX_PATH];
    for (const auto& c : cases) {
        setPathCodePageForTest(c.codePage);
        EXPECT_TRUE(folderOfPath(c.path, out));
        EXPECT_STREQ(c.folder, out) << c.codePage;
        strcpy(out, c.path);
        EXPECT_TRUE(ensureTrailingBackslash(out, sizeof out));
        EXPECT_EQ(std::string(c.path) + (c.last[0] ? "\\" : ""), out) << c.codePage;
        strcpy(out, c.path);
        EXPECT_TRUE(splitLastComponent(out, last));
        EXPECT_STREQ(c.last, last) << c.codePage;
    }
    setPathCodePageForTest(CP_ACP);
}

TEST(FolderHelpers, DirKindFoldersTempAndDestinationPaths) {
    resetWindowsFolderForTest();
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    std::string win = std::string(windows) + "\\";
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);

    char out[MAX_PATH];
    for (SHORT kind = -1; kind <= 7; ++kind) {
        out[0] = '\0';
        dirKindFolder(kind, out);
        std::string expected = "\\";
        if (kind == 0 || kind == 1) expected = win;
        if (kind == 2) expected = std::string(system) + "\\";
        if (kind == 3) expected = win + "cursors\\";
        if (kind == 4) expected = win + "media\\";
        EXPECT_EQ(expected, out) << "kind " << kind;
    }
    EXPECT_EQ(1, windowsFolderQueriesForTest());
    windowsFolder();
    EXPECT_EQ(1, windowsFolderQueriesForTest());  // kept, not asked again

    FileEntry entry;
    memset(&entry, 0, sizeof entry);
    strcpy(entry.sourceName, "zelto.sc_");
    strcpy(entry.destName, "Zelto 2000.Scr");
    entry.dirKind = DirSystem;
    ASSERT_TRUE(tempPathFor(entry, out));
    EXPECT_EQ(win + "Temp\\zelto.sc_", out);
    ASSERT_TRUE(tempPathFor(entry, out, entry.destName));
    EXPECT_EQ(win + "Temp\\Zelto 2000.Scr", out);
    ASSERT_TRUE(destinationPath(entry, out));
    EXPECT_EQ(std::string(system) + "\\Zelto 2000.Scr", out);

    // a destination that does not fit is refused, not cut into another name
    char folder[MAX_PATH];
    std::string deep(250, 'd');
    EXPECT_FALSE(joinPath(folder, deep.c_str(), "0123456789.txt"));
    EXPECT_STREQ("", folder);
}

class FileFixture : public ::testing::Test {
protected:
    void SetUp() override {
        GetTempPathA(MAX_PATH, dir);
        strcat(dir, "zelto-paths-test\\");
        CreateDirectoryA(dir, NULL);
        source = std::string(dir) + "source.txt";
        target = std::string(dir) + "target.txt";
        writeFile(source, "new content");
    }
    void TearDown() override {
        SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_NORMAL);
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(source.c_str());
        DeleteFileA(target.c_str());
        RemoveDirectoryA(dir);
    }
    char dir[MAX_PATH];
    std::string source, target;
};

TEST_F(FileFixture, CopyOntoReadOnlyReplacesAndLeavesItWritable) {
    writeFile(target, "old");
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(copyFileWritable(source.c_str(), target.c_str()));
    DWORD attributes = GetFileAttributesA(target.c_str());
    EXPECT_EQ(0u, attributes & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ("new content", readFile(target));
    EXPECT_FALSE(copyFileWritable((std::string(dir) + "missing").c_str(), target.c_str()));
}

TEST_F(FileFixture, ClearReadOnlyKeepsHiddenAndIgnoresMissingFiles) {
    SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(clearReadOnly(source.c_str()));
    DWORD attributes = GetFileAttributesA(source.c_str());
    EXPECT_EQ(0u, attributes & FILE_ATTRIBUTE_READONLY);
    EXPECT_NE(0u, attributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(clearReadOnly((std::string(dir) + "missing").c_str()));
    SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(deleteFileWritable(source.c_str()));
    EXPECT_FALSE(fileExists(source.c_str()));
    EXPECT_TRUE(fileExists(dir));  // a folder counts as existing
}

// Windows 9x deletes at its next start what "wininit.ini" [rename] names with
// NUL; each file is one more NUL line, and another program's lines stay.
TEST_F(FileFixture, WininitDeletesKeepEveryEntry) {
    std::string ini = std::string(dir) + "wininit.ini";
    writeFile(ini, "[rename]\r\nC:\\OTHER.DLL=C:\\OTHER.NEW\r\n");
    EXPECT_TRUE(editWininitDeletes(ini.c_str(), "C:\\WINDOWS\\VMBUNI~1.EXE", true));
    EXPECT_TRUE(editWininitDeletes(ini.c_str(), "C:\\WINDOWS\\SYSTEM\\ZELTO2~1.SCR", true));
    char section[1000];
    DWORD n = GetPrivateProfileSectionA("rename", section, sizeof section, ini.c_str());
    static const char expected[] = "C:\\OTHER.DLL=C:\\OTHER.NEW\0NUL=C:\\WINDOWS\\VMBUNI~1.EXE\0"
                                   "NUL=C:\\WINDOWS\\SYSTEM\\ZELTO2~1.SCR";
    EXPECT_EQ(std::string(expected, sizeof expected), std::string(section, n));
    // Named again, a file is still named once; taken back, only its line goes.
    EXPECT_TRUE(editWininitDeletes(ini.c_str(), "c:\\windows\\vmbuni~1.exe", true));
    EXPECT_TRUE(editWininitDeletes(ini.c_str(), "C:\\WINDOWS\\SYSTEM\\ZELTO2~1.SCR", false));
    n = GetPrivateProfileSectionA("rename", section, sizeof section, ini.c_str());
    static const char left[] = "C:\\OTHER.DLL=C:\\OTHER.NEW\0NUL=c:\\windows\\vmbuni~1.exe";
    EXPECT_EQ(std::string(left, sizeof left), std::string(section, n));
    DeleteFileA(ini.c_str());
}

// The NT family's list of deletions at the next start: a file installed again
// is taken out of it, every other entry stays.
TEST_F(FileFixture, CancelledRestartDeletionLeavesTheOthers) {
    ASSERT_TRUE(deleteAtRestart(source.c_str()));
    writeFile(target, "t");
    ASSERT_TRUE(deleteAtRestart(target.c_str()));
    std::string before = pendingRenames();
    ASSERT_NE(std::string::npos, before.find(source + "||")) << before;
    EXPECT_TRUE(cancelRestartDeletion(source.c_str()));
    std::string after = pendingRenames();
    EXPECT_EQ(std::string::npos, after.find(source + "|"));
    EXPECT_NE(std::string::npos, after.find(target + "||"));
    EXPECT_TRUE(cancelRestartDeletion(target.c_str()));
    EXPECT_TRUE(cancelRestartDeletion(target.c_str()));  // nothing left to take back
    EXPECT_EQ(std::string::npos, pendingRenames().find(target + "|"));
}
