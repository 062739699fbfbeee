#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include "shell/mirrors.h"
#include "shell/selfremove.h"
#include "shell/setupapp.h"

namespace {
OSVERSIONINFOA version(DWORD platform, DWORD major, DWORD minor, DWORD build) {
    OSVERSIONINFOA v;
    memset(&v, 0, sizeof v);
    v.dwOSVersionInfoSize = sizeof v;
    v.dwPlatformId = platform;
    v.dwMajorVersion = major;
    v.dwMinorVersion = minor;
    v.dwBuildNumber = build;
    return v;
}
}  // namespace

TEST(OsKind, EveryRowOfTheTable) {
    EXPECT_EQ(0, osKindFromVersion(version(1, 4, 0, 950)));
    EXPECT_EQ(0, osKindFromVersion(version(1, 4, 0, 0x040003B6)));  // 95 keeps 4.0 in the high word
    EXPECT_EQ(0, osKindFromVersion(version(1, 4, 0, 1080)));
    EXPECT_EQ(1, osKindFromVersion(version(1, 4, 0, 1111)));
    EXPECT_EQ(1, osKindFromVersion(version(1, 3, 95, 1111)));  // major below 4
    EXPECT_EQ(2, osKindFromVersion(version(1, 4, 10, 1998)));
    EXPECT_EQ(3, osKindFromVersion(version(1, 4, 90, 3000)));
    EXPECT_EQ(3, osKindFromVersion(version(1, 4, 0, 90 << 16)));
    EXPECT_EQ(2, osKindFromVersion(version(1, 4, 0, 10 << 16)));
    EXPECT_EQ(3, osKindFromVersion(version(1, 5, 0, 0)));
    EXPECT_EQ(4, osKindFromVersion(version(2, 4, 0, 1381)));
    EXPECT_EQ(4, osKindFromVersion(version(2, 3, 51, 1057)));
    EXPECT_EQ(5, osKindFromVersion(version(2, 5, 0, 2195)));
    EXPECT_EQ(5, osKindFromVersion(version(2, 6, 1, 7601)));
    EXPECT_EQ(-1, osKindFromVersion(version(0, 3, 10, 0)));
    EXPECT_EQ(0, osKindFromVersion(version(3, 4, 0, 0)));
}

TEST(MirrorSites, RemaindersChooseSitesInThirds) {
    const int sites[9] = {0, 0, 0, 1, 1, 1, 2, 2, 2};  // remainders 0-2, 3-5, 6-8 of the number by 9
    for (int r = 0; r < 9; ++r) EXPECT_EQ(sites[r], mirrorIndexFor(r)) << r;
    EXPECT_EQ(0, mirrorIndexFor(9));
    EXPECT_EQ(1, mirrorIndexFor(12));
    EXPECT_EQ(2, mirrorIndexFor(32767));  // RAND_MAX % 9 == 7
    EXPECT_STREQ("FTP site 2", kMirrorSites[2].displayName);
    EXPECT_STREQ("/vimbatressil/vt_files/", kMirrorSites[2].path);
    EXPECT_STREQ("/vt_files/", kMirrorSites[0].path);
    EXPECT_STREQ("/vt_files/", kMirrorSites[1].path);
}

TEST(Switches, WordsOfTheirOwnInAnyCaseAnywhere) {
    CommandSwitches s;
    const char* quiet[] = {"/S", "/s", "UNINSTALL /S", "/S UNINSTALL", "a\t/s\tb", "  /S  ",
                           "/SILENT", "/verysilent"};
    for (const char* line : quiet) {
        readSwitches(line, &s);
        EXPECT_TRUE(s.unattended && !s.refused[0]) << line;
    }
    const char* plain[] = {"", "UNINSTALL", "x/S", "-S", "S"};
    for (const char* line : plain) {
        readSwitches(line, &s);
        EXPECT_TRUE(!s.unattended && !s.refused[0]) << line;
    }
    readSwitches("uninstall /NORESTART /SuppressMsgBoxes", &s);
    EXPECT_TRUE(s.uninstallWord && !s.unattended && !s.help && !s.log && !s.refused[0]);
    readSwitches("UNINSTALL now", &s);
    EXPECT_FALSE(s.uninstallWord);  // the question is asked unless UNINSTALL is the one word
    readSwitches("UNINSTALLER /? /X /Y", &s);
    EXPECT_TRUE(s.help && !s.uninstallWord);
    EXPECT_STREQ("/X", s.refused);  // the first one the message names
    const char* refused[] = {"/S/", "/", "/SS", "/LOGS", "/LOG:x", "/HELP="};
    for (const char* line : refused) {
        readSwitches(line, &s);
        EXPECT_STREQ(line, s.refused);
    }
}

TEST(Switches, LogFileWithOrWithoutQuotes) {
    CommandSwitches s;
    readSwitches("/log", &s);
    EXPECT_TRUE(s.log && !s.logNameCut);
    EXPECT_STREQ("", s.logName);
    readSwitches("/S /LOG=\"C:\\a b\\z.log\" UNINSTALL", &s);
    EXPECT_TRUE(s.log && s.unattended && s.uninstallWord && !s.refused[0]);
    EXPECT_STREQ("C:\\a b\\z.log", s.logName);
    readSwitches("\"/Log=C:\\a b\\z.log\"", &s);
    EXPECT_STREQ("C:\\a b\\z.log", s.logName);
    readSwitches("/LOG=C:\\z.log", &s);
    EXPECT_STREQ("C:\\z.log", s.logName);
    // A name that does not fit a path is not cut into another file's name.
    std::string name(MAX_PATH, 'n');
    readSwitches(("/LOG=" + name.substr(1)).c_str(), &s);
    EXPECT_FALSE(s.logNameCut);
    readSwitches(("/LOG=" + name).c_str(), &s);
    EXPECT_TRUE(s.log && s.logNameCut);
    readSwitches(("/LOG=\"" + name + name + "\" /X").c_str(), &s);
    EXPECT_TRUE(s.logNameCut);
    EXPECT_STREQ("/X", s.refused);
}

TEST(CommandLine, ArgumentsFollowTheProgramName) {
    EXPECT_STREQ("UNINSTALL", commandArguments("C:\\WINDOWS\\vmbUninst.exe UNINSTALL"));
    // A letter outside ASCII is part of an unquoted name, not a blank.
    EXPECT_STREQ("UNINSTALL /S", commandArguments("C:\\Pr\xE9sentation\\vmbUninst.exe UNINSTALL /S"));
    EXPECT_STREQ("/S", commandArguments("\"C:\\Zelto & Co\\Zelto2000Setup.exe\"\t /S"));
    EXPECT_STREQ("", commandArguments("\"C:\\Program Files\\a b.exe"));
    EXPECT_STREQ("", commandArguments(""));
}

TEST(DeleteBatch, BoundedTriesWithWaitsByteForByte) {
    char text[2000];
    ASSERT_TRUE(formatDeleteBatch(text, sizeof text, "C:\\WINDOWS\\vmbUninst.exe",
                                  "C:\\WINDOWS\\delete1.bat", "C:\\WINDOWS\\ping.exe"));
    std::string expected;
    for (const char* count : {"2", "3", "5", "9"})
        expected += std::string("del \"C:\\WINDOWS\\vmbUninst.exe\"\r\n"
                                "if not exist \"C:\\WINDOWS\\vmbUninst.exe\" goto Done\r\n"
                                "\"C:\\WINDOWS\\ping.exe\" -n ") +
                    count + " 127.0.0.1 >nul\r\n";
    expected += "del \"C:\\WINDOWS\\vmbUninst.exe\"\r\n:Done\r\ndel \"C:\\WINDOWS\\delete1.bat\"\r\n";
    EXPECT_EQ(expected, text);
    // Without ping the five tries follow one another, still bounded.
    ASSERT_TRUE(formatDeleteBatch(text, sizeof text, "C:\\W\\u.exe", "C:\\W\\DELETE.BAT", ""));
    std::string bare;
    for (int i = 0; i < 4; ++i) bare += "del \"C:\\W\\u.exe\"\r\nif not exist \"C:\\W\\u.exe\" goto Done\r\n";
    EXPECT_EQ(bare + "del \"C:\\W\\u.exe\"\r\n:Done\r\ndel \"C:\\W\\DELETE.BAT\"\r\n", text);
}

TEST(DeleteBatch, PercentDoubledExclamationAndLongPathsRefused) {
    char text[2000];
    ASSERT_TRUE(formatDeleteBatch(text, sizeof text, "C:\\100% Free\\vmbUninst.exe",
                                  "C:\\100%FR~1\\delete.bat", "C:\\100% Free\\ping.exe"));
    EXPECT_EQ(0, strncmp(text, "del \"C:\\100%% Free\\vmbUninst.exe\"\r\n", 35));
    EXPECT_NE(nullptr, strstr(text, "\"C:\\100%% Free\\ping.exe\" -n 2 "));
    EXPECT_NE(nullptr, strstr(text, ":Done\r\ndel \"C:\\100%%FR~1\\delete.bat\"\r\n"));
    // With delayed expansion on, cmd would read "!x!" as a variable.
    const char* bang[][3] = {{"C:\\a!b\\u.exe", "C:\\d.bat", ""},
                             {"C:\\u.exe", "C:\\a!b\\d.bat", ""},
                             {"C:\\u.exe", "C:\\d.bat", "C:\\a!b\\ping.exe"}};
    for (auto& paths : bang) {
        EXPECT_FALSE(formatDeleteBatch(text, sizeof text, paths[0], paths[1], paths[2]));
        EXPECT_STREQ("", text);
    }
    std::string percents(259, '%');
    EXPECT_FALSE(formatDeleteBatch(text, 2000, percents.c_str(), "C:\\delete.bat", ""));
    EXPECT_STREQ("", text);
}

// A folder whose name cmd would expand, on a volume without short names: the
// batch is not started at all rather than another folder's file.
TEST(DeleteBatch, StartPathNeverExpandable) {
    char path[MAX_PATH];
    EXPECT_FALSE(deleteBatchStartPath(path, sizeof path, "C:\\Users\\%USERNAME%\\delete.bat", ""));
    EXPECT_STREQ("", path);
    EXPECT_FALSE(deleteBatchStartPath(path, sizeof path, "C:\\Tools!x!\\delete.bat", ""));
    EXPECT_FALSE(deleteBatchStartPath(path, sizeof path, "C:\\a b\\delete.bat", "C:\\A%B~1\\DELETE.BAT"));
    ASSERT_TRUE(deleteBatchStartPath(path, sizeof path, "C:\\Users\\%USERNAME%\\delete.bat",
                                     "C:\\Users\\USERNA~1\\DELETE.BAT"));
    EXPECT_STREQ("C:\\Users\\USERNA~1\\DELETE.BAT", path);
    ASSERT_TRUE(deleteBatchStartPath(path, sizeof path, "C:\\WINDOWS\\delete.bat", ""));
    EXPECT_STREQ("C:\\WINDOWS\\delete.bat", path);
}
