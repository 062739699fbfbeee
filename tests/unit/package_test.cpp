#include <gtest/gtest.h>
#include <vector>
#include "boxcatcher.h"
#include "common/text.h"
#include "resources/resource.h"
#include "shell/setupapp.h"
#include "testutil.h"

namespace {
std::vector<BYTE> header(const std::vector<HeaderRecord>& records, size_t extra = 0) {
    std::vector<BYTE> bytes(records.size() * sizeof(HeaderRecord) + extra, 0xEE);
    if (!records.empty()) memcpy(bytes.data(), records.data(), records.size() * sizeof(HeaderRecord));
    return bytes;
}
const HeaderRecord kSaver = makeRecord("zelto.sc_", 98304, "Zelto 2000.Scr", 977984780, 68714);
const HeaderRecord kHelp = makeRecord("zeltohlp.hl_", 26695, "Zeltohlp.Hlp", 969918300, 12247);
}  // namespace

TEST(UpdateHeader, RecordCountsAndIgnoredTails) {
    TestApp app;
    PackageSlot& slot = setupApp->packages[0];
    std::vector<BYTE> bytes = header({kSaver, kHelp}, 6);  // 150 bytes
    EXPECT_EQ(0u, slot.readHeaderRecords(bytes.data(), bytes.size()));
    EXPECT_EQ(2, slot.sourceCount);
    for (size_t size = 1; size < 72; ++size) {
        EXPECT_EQ(0u, slot.readHeaderRecords(bytes.data(), size));
        EXPECT_EQ(0, slot.sourceCount);
    }
}

TEST(UpdateHeader, FirstRecordNameRuleAndRenaming) {
    TestApp app;
    PackageSlot& slot = setupApp->packages[0];
    struct Case {
        const char* source;
        const char* dest;
        bool accepted;
    } cases[] = {
        {"ZELTO.SC_", "whatever.bin", true},
        {"abc.ex_", "ABC.EXE", true},
        {"abc.ex_", "abd.exe", false},
        {"x", "y", true},  // both names lose their only character
        // a destination of 30 characters has no room in an install entry
        {"abcdefghijklmnopqrstuvwxyz0", "abcdefghijklmnopqrstuvwxyz0123", false},
        {"abcdefghijklmnopqrstuvwxyz_", "ABCDEFGHIJKLMNOPQRSTUVWXYZq", true},
    };
    for (const Case& c : cases) {
        HeaderRecord r = makeRecord(c.source, 10, c.dest, 1, 5);
        std::vector<BYTE> bytes = header({r});
        EXPECT_EQ(c.accepted ? 0u : static_cast<UINT>(IDS_BAD_HEADER),
                  slot.readHeaderRecords(bytes.data(), bytes.size()))
            << c.source << " / " << c.dest;
    }
    std::vector<BYTE> renamed = header({kSaver, makeRecord("zuvak.sc_", 1, "ZUVAK.SCR", 1, 1)});
    ASSERT_EQ(0u, slot.readHeaderRecords(renamed.data(), renamed.size()));
    EXPECT_STREQ("Ostrell Zuvak.scr", slot.sourceRecords[1].destName);
}

TEST(UpdateHeader, UnsafeRecordsAreRefusedWithoutReadingPastFields) {
    TestApp app;
    PackageSlot& slot = setupApp->packages[0];
    HeaderRecord noSourceEnd = kSaver;
    memset(noSourceEnd.sourceName, 'a', sizeof noSourceEnd.sourceName);
    HeaderRecord noDestEnd = kSaver;
    memset(noDestEnd.destName, 'b', sizeof noDestEnd.destName);
    HeaderRecord dest30 = makeRecord("zelto.sc_", 1, "123456789012345678901234567890", 1, 1);
    HeaderRecord emptyDest = makeRecord("zelto.sc_", 1, "", 1, 1);
    HeaderRecord elsewhere = makeRecord("zelto.sc_", 1, "..\\win.ini", 1, 1);
    for (const HeaderRecord& bad : {noSourceEnd, noDestEnd, dest30, emptyDest, elsewhere}) {
        for (int place = 0; place < 2; ++place) {
            std::vector<BYTE> bytes = place == 0 ? header({bad}) : header({kSaver, bad});
            EXPECT_EQ(static_cast<UINT>(IDS_BAD_HEADER),
                      slot.readHeaderRecords(bytes.data(), bytes.size()));
            EXPECT_EQ(0, slot.sourceCount);
        }
    }
    HeaderRecord dest29 = makeRecord("zelto.sc_", 1, "12345678901234567890123456789", 1, 1);
    std::vector<BYTE> ok = header({dest29});
    EXPECT_EQ(0u, slot.readHeaderRecords(ok.data(), ok.size()));

    std::vector<HeaderRecord> many(31, kSaver);
    std::vector<BYTE> tooMany = header(many);
    EXPECT_EQ(static_cast<UINT>(IDS_BAD_HEADER),
              slot.readHeaderRecords(tooMany.data(), tooMany.size()));
    many.resize(30);
    std::vector<BYTE> full = header(many);
    EXPECT_EQ(0u, slot.readHeaderRecords(full.data(), full.size()));
    EXPECT_EQ(30, slot.sourceCount);
}

TEST(InstallList, TotalsNewestTimeAndFolderKind) {
    TestApp app;
    PackageSlot& slot = setupApp->packages[0];
    BoxCatcher catcher;
    ASSERT_TRUE(slot.checkPackage());  // the shipped header of the test program
    EXPECT_EQ(2, slot.sourceCount);
    EXPECT_EQ(2, slot.installCount);
    EXPECT_EQ(80961, slot.compressedTotal);
    EXPECT_EQ(124999, slot.uncompressedTotal);
    EXPECT_EQ(977984780, slot.newestTime);
    EXPECT_EQ(DirSystem, slot.installEntries[0].dirKind);
    EXPECT_EQ(DirSystem, slot.installEntries[1].dirKind);
    EXPECT_STREQ("Zelto 2000.Scr", slot.installEntries[0].destName);
    EXPECT_STREQ("zeltohlp.hl_", slot.installEntries[1].sourceName);
    EXPECT_TRUE(catcher.boxes().empty());

    slot.resetPackage();
    slot.addInstallEntry("a.b_", "a.bc", DirSystem, -5, 1, 2);
    slot.addInstallEntry("c.d_", "c.de", DirSystem, -1, 2147483647, 2147483647);
    EXPECT_EQ(0, slot.newestTime);  // negative times never become the newest
    EXPECT_EQ(2147483648LL, slot.compressedTotal);
    for (int i = 2; i < 40; ++i) slot.addInstallEntry("e.f_", "e.fg", DirSystem, 1, 1, 1);
    EXPECT_EQ(30, slot.installCount);  // the list never grows past its room
}

TEST(PackageCheck, ProgressReportsAndTheMissingHeader) {
    TestApp app;
    setupApp->mainWindow = CreateWindowExA(0, "STATIC", "main", WS_POPUP, 0, 0, 200, 200, NULL, NULL,
                                           GetModuleHandleA(NULL), NULL);
    {
        BoxCatcher catcher;
        EXPECT_TRUE(setupApp->checkPackages());
        EXPECT_EQ(977984780, setupApp->newestFileTime);
        EXPECT_EQ(100, setupApp->progressPercent);
        EXPECT_STREQ("zelto.new", setupApp->currentItem);
        EXPECT_EQ(nullptr, setupApp->progressDialog);
        EXPECT_TRUE(catcher.boxes().empty());
    }
    std::string report = windowsPath("zeltoInstall.txt");
    DeleteFileA(report.c_str());
    copyText(setupApp->packages[0].headerName, 32, "absent.new");
    setupApp->newestFileTime = 5;
    auto boxes = boxesDuring([] { EXPECT_FALSE(setupApp->checkPackages()); });
    ASSERT_EQ(1u, boxes.size());  // one message, not a second one for the empty list
    EXPECT_EQ("Unable to access update header res::absent.new. Check network path and "
              "connections before trying again.",
              boxes[0].text);
    EXPECT_EQ("Installer", boxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), boxes[0].style);
    EXPECT_EQ(5, setupApp->newestFileTime);
    std::string line = readFile(report);
    EXPECT_NE(std::string::npos, line.find(" Unable to access update header res::absent.new."));
    DestroyWindow(setupApp->mainWindow);
}

TEST(PackageCheck, WithoutTheHeaderTheCaptionNamesTheMirror) {
    TestApp app;
    setupApp->mainWindow = CreateWindowExA(0, "STATIC", "main", WS_POPUP, 0, 0, 200, 200, NULL, NULL,
                                           GetModuleHandleA(NULL), NULL);
    copyText(setupApp->packages[0].headerName, 32, "absent.new");
    setupApp->uninstallMode = true;  // no start-up sound in this test
    setupApp->onCreate();
    EXPECT_TRUE(setupApp->sourceRemote);
    EXPECT_STRNE("", setupApp->mirrorDisplayName);
    MSG posted;
    ASSERT_TRUE(PeekMessageA(&posted, setupApp->mainWindow, MSG_BEGIN_SETUP, MSG_BEGIN_SETUP,
                             PM_REMOVE));
    auto boxes = boxesDuring([] { EXPECT_FALSE(setupApp->checkPackages()); });
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(0u, boxes[0].text.find("Unable to access update header res::absent.new."));
    EXPECT_EQ(std::string("Connecting to ") + setupApp->mirrorDisplayName +
                  " to check for updates..",
              std::string(setupApp->progressCaption));

    copyText(setupApp->packages[0].headerName, 32, "zelto.new");
    setupApp->onCreate();
    EXPECT_FALSE(setupApp->sourceRemote);  // the header is among the resources
    PeekMessageA(&posted, setupApp->mainWindow, MSG_BEGIN_SETUP, MSG_BEGIN_SETUP, PM_REMOVE);
    DestroyWindow(setupApp->mainWindow);
}
