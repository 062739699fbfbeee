#include <gtest/gtest.h>
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
    EXPECT_EQ(148u, sizeof(OSVERSIONINFOA));
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

TEST(OsKind, ShellVersionIsReadOrDefaultsToFour) {
    DWORD major = 0, minor = 0;
    readShellVersion(&major, &minor);
    EXPECT_GE(major, 4u);
}

TEST(MirrorSites, RemaindersChooseSitesInThirds) {
    for (int r = 0; r < 90; ++r) EXPECT_EQ((r % 9) / 3, mirrorIndexFor(r)) << r;
    EXPECT_EQ(0, mirrorIndexFor(9));
    EXPECT_EQ(1, mirrorIndexFor(12));
    EXPECT_EQ(2, mirrorIndexFor(32767));  // RAND_MAX % 9 == 7
    EXPECT_STREQ("FTP site 2", kMirrorSites[2].displayName);
    EXPECT_STREQ("/vimbatressil/vt_files/", kMirrorSites[2].path);
    EXPECT_STREQ("/vt_files/", kMirrorSites[0].path);
    EXPECT_STREQ("/vt_files/", kMirrorSites[1].path);
}

TEST(UnattendedSwitch, OnlyAWordOfItsOwn) {
    const char* on[] = {"/S", "/s", "UNINSTALL /S", "/S UNINSTALL", "a\t/s\tb", "  /S  "};
    for (const char* line : on) EXPECT_TRUE(hasUnattendedSwitch(line)) << line;
    const char* off[] = {"", "UNINSTALL", "/SILENT", "x/S", "/S/", "-S", "S", "/", "/SS"};
    for (const char* line : off) EXPECT_FALSE(hasUnattendedSwitch(line)) << line;
}

TEST(DeleteBatch, FourLinesByteForByte) {
    char text[1000];
    ASSERT_TRUE(formatDeleteBatch(text, sizeof text, "C:\\WINDOWS\\vmbUninst.exe",
                                  "C:\\WINDOWS\\delete.bat"));
    EXPECT_STREQ(
        ":Repeat\r\ndel \"C:\\WINDOWS\\vmbUninst.exe\"\r\nif exist \"C:\\WINDOWS\\vmbUninst.exe\" "
        "goto Repeat\r\ndel \"C:\\WINDOWS\\delete.bat\"\r\n",
        text);
    ASSERT_TRUE(formatDeleteBatch(text, sizeof text, "C:\\My Programs\\vmbUninst.exe",
                                  "C:\\MYPROG~1\\DELETE.BAT"));
    EXPECT_NE(nullptr, strstr(text, "del \"C:\\My Programs\\vmbUninst.exe\"\r\n"));
    EXPECT_NE(nullptr, strstr(text, "del \"C:\\MYPROG~1\\DELETE.BAT\"\r\n"));
}

TEST(DeleteBatch, PercentSignsAreDoubledAndLongPathsRefused) {
    char text[1000];
    ASSERT_TRUE(formatDeleteBatch(text, sizeof text, "C:\\100% Free\\vmbUninst.exe",
                                  "C:\\100% Free\\delete.bat"));
    EXPECT_STREQ(
        ":Repeat\r\ndel \"C:\\100%% Free\\vmbUninst.exe\"\r\nif exist \"C:\\100%% "
        "Free\\vmbUninst.exe\" goto Repeat\r\ndel \"C:\\100%% Free\\delete.bat\"\r\n",
        text);
    std::string percents(259, '%');
    EXPECT_FALSE(formatDeleteBatch(text, 100, percents.c_str(), "C:\\delete.bat"));
    EXPECT_STREQ("", text);
}

TEST(SetupAppObject, StartsInTheDocumentedState) {
    SetupApp* app = createSetupApp(GetModuleHandleA(NULL));
    ASSERT_NE(nullptr, app);
    EXPECT_TRUE(app->running);
    EXPECT_FALSE(app->selfDeleteOnExit);
    EXPECT_EQ(0, app->elapsedMs);
    EXPECT_EQ(0, app->newestFileTime);
    EXPECT_TRUE(app->componentPresent[0]);
    EXPECT_TRUE(app->componentActivate[0]);
    for (int i = 1; i < kComponentCount; ++i) {
        EXPECT_FALSE(app->componentPresent[i]);
        EXPECT_FALSE(app->componentActivate[i]);
    }
    for (int i = 0; i < kComponentCount; ++i) {
        EXPECT_EQ(0, app->packages[i].packageType);
        EXPECT_STREQ("", app->packages[i].headerName);
    }
    app->running = false;  // nothing was registered
    SetupApp* saved = setupApp;
    setupApp = app;
    destroySetupApp();
    setupApp = saved;
}
