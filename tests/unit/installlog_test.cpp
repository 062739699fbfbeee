#include <gtest/gtest.h>
#include <regex>
#include "boxcatcher.h"
#include "common/dynlib.h"
#include "common/errors.h"
#include "shell/setupapp.h"
#include "testutil.h"

namespace {
class LogFixture : public ::testing::Test {
protected:
    void SetUp() override {
        log = windowsPath("zelto.log");
        report = windowsPath("zeltoInstall.txt");
        DeleteFileA(log.c_str());
        DeleteFileA(report.c_str());
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        first = std::string(temp) + "zelto-one.txt";
        second = std::string(temp) + "zelto-two.txt";
        writeFile(first, "1");
        writeFile(second, "2");
        reportUndeletable = true;
    }
    void TearDown() override {
        DeleteFileA(first.c_str());
        DeleteFileA(second.c_str());
        DeleteFileA(log.c_str());
    }
    TestApp app;
    std::string log, report, first, second;
};
}  // namespace

TEST_F(LogFixture, LinesAndTheDuplicateRule) {
    EXPECT_TRUE(setupApp->appendInstallLog("C:\\WINDOWS\\SYSTEM\\Zelto 2000.Scr"));
    EXPECT_EQ("C:\\WINDOWS\\SYSTEM\\Zelto 2000.Scr \r\n", readFile(log));
    EXPECT_TRUE(setupApp->appendInstallLog("c:\\windows\\system\\ZELTO 2000.SCR"));
    EXPECT_TRUE(setupApp->appendInstallLog("C:\\WINDOWS\\SYSTEM\\Zelto 2000.Sc"));
    EXPECT_EQ("C:\\WINDOWS\\SYSTEM\\Zelto 2000.Scr \r\n", readFile(log));
    EXPECT_TRUE(setupApp->appendInstallLog("C:\\WINDOWS\\SYSTEM\\Zeltohlp.Hlp"));
    EXPECT_EQ("C:\\WINDOWS\\SYSTEM\\Zelto 2000.Scr \r\nC:\\WINDOWS\\SYSTEM\\Zeltohlp.Hlp \r\n",
              readFile(log));
    // a log held open elsewhere cannot be written
    HANDLE held = CreateFileA(log.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_FALSE(setupApp->appendInstallLog("C:\\other.txt"));
    EXPECT_TRUE(setupApp->removeLoggedFiles());  // unreadable: as if there were no log
    CloseHandle(held);
}

TEST_F(LogFixture, RemovalDeletesListedFilesThenTheLog) {
    writeFile(log, first + " \r\n" + second + " \r\n");
    EXPECT_TRUE(setupApp->removeLoggedFiles());
    EXPECT_FALSE(fileExists(first.c_str()));
    EXPECT_FALSE(fileExists(second.c_str()));
    EXPECT_FALSE(fileExists(log.c_str()));
    EXPECT_TRUE(setupApp->removeLoggedFiles());  // no log: nothing to do

    writeFile(second, "2");
    writeFile(log, first + " \r\n" + second + " \r\n");  // the first is already gone
    EXPECT_TRUE(setupApp->removeLoggedFiles());
    EXPECT_FALSE(fileExists(second.c_str()));

    writeFile(log, "");
    EXPECT_TRUE(setupApp->removeLoggedFiles());
    EXPECT_FALSE(fileExists(log.c_str()));
    // a last line shorter than five bytes is not read as a path
    writeFile(second, "2");
    writeFile(log, first + " \r\nab\r\n");
    EXPECT_TRUE(setupApp->removeLoggedFiles());
    EXPECT_FALSE(fileExists(log.c_str()));
    // no final CR LF: the last path is still read
    writeFile(log, first + " \r\n" + second);
    EXPECT_TRUE(setupApp->removeLoggedFiles());
    EXPECT_FALSE(fileExists(second.c_str()));
}

TEST_F(LogFixture, ALockedFileKeepsTheLogAndIsReportedOnce) {
    writeFile(log, first + " \r\n" + second + " \r\n");
    HANDLE held = CreateFileA(first.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    {
        reportUndeletable = false;
        BoxCatcher quiet;
        EXPECT_FALSE(setupApp->removeLoggedFiles());
        EXPECT_TRUE(quiet.boxes().empty());
        EXPECT_EQ("<missing>", readFile(report));
    }
    EXPECT_TRUE(fileExists(log.c_str()));
    EXPECT_FALSE(fileExists(second.c_str()));
    {
        reportUndeletable = true;
        BoxCatcher catcher;
        EXPECT_FALSE(setupApp->removeLoggedFiles());
        auto boxes = catcher.boxes();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ("Some files may be in use and could not be deleted. View zeltoInstall.txt in "
                  "your Windows directory for details.",
                  boxes[0].text);
    }
    std::string text = readFile(report);
    std::regex line("\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d (.*)\r\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, line)) << text;
    EXPECT_EQ(first + "  couldn't be deleted.", m[1].str());  // two blanks
    CloseHandle(held);
}

TEST_F(LogFixture, HostileLogsNeverOverrunOrDeleteOutsideTheirLines) {
    std::string longLine(400, 'x');
    writeFile(log, longLine + "\r\n" + first + " \r\n");
    EXPECT_TRUE(setupApp->removeLoggedFiles());
    EXPECT_FALSE(fileExists(first.c_str()));
    for (std::string tiny : {std::string("a"), std::string("\r\n"), std::string("ab\r"),
                             std::string("\0\0\0\0", 4), std::string("\r\r\r\r\r\r")}) {
        writeFile(log, tiny);
        EXPECT_TRUE(setupApp->removeLoggedFiles()) << tiny.size();
    }
    writeFile(second, "2");
    writeFile(log, std::string("\0junk\r\n", 7) + second + " \r\n");
    EXPECT_TRUE(setupApp->removeLoggedFiles());
    EXPECT_FALSE(fileExists(second.c_str()));
}

TEST_F(LogFixture, ReportLinesAndErrorReports) {
    EXPECT_TRUE(setupApp->appendInstallReport("T"));
    std::string text = readFile(report);
    EXPECT_TRUE(std::regex_match(text, std::regex("\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d T\r\n")));
    DeleteFileA(report.c_str());
    std::string huge(900, 'h');
    EXPECT_TRUE(setupApp->appendInstallReport(huge.c_str()));
    text = readFile(report);
    EXPECT_LT(text.size(), 530u);  // cut, not overrun
    EXPECT_EQ("\r\n", text.substr(text.size() - 2));
    DeleteFileA(report.c_str());

    {
        BoxCatcher catcher;
        EXPECT_FALSE(reportErrorById(793, "zelto.sc_"));
        auto boxes = catcher.boxes();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ("Couldn't download zelto.sc_.", boxes[0].text);
        EXPECT_EQ("Installer", boxes[0].caption);
    }
    EXPECT_TRUE(std::regex_match(readFile(report),
                                 std::regex("\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d "
                                            "Couldn't download zelto\\.sc_\\.\r\n")));
    {
        BoxCatcher catcher;
        SetLastError(12007);  // a name that could not be resolved
        reportErrorById(712, "zelto.new");
        SetLastError(12999);  // no text for this one
        reportErrorById(712, "zelto.new");
        SetLastError(12003);  // the server said nothing
        reportErrorById(712, "zelto.new");
        auto boxes = catcher.boxes();
        ASSERT_EQ(3u, boxes.size());
        const std::string head = "Error reading update header zelto.new. Try update check again later.";
        EXPECT_EQ(0u, boxes[0].text.find(head + "error code: 12007\nMessage: "));
        // The internet library was loaded for its text of the code.
        EXPECT_GT(boxes[0].text.size(), (head + "error code: 12007\nMessage: \n").size());
        EXPECT_EQ(head + "error code: 12999\nMessage: \n", boxes[1].text);
        EXPECT_EQ(head, boxes[2].text);
    }
    {
        // Without the internet library the message stands without the texts.
        BoxCatcher catcher;
        setMissingLibrariesForTest("wininet.dll");
        SetLastError(12007);
        reportErrorById(712, "zelto.new");
        SetLastError(12003);
        reportErrorById(712, "zelto.new");
        setMissingLibrariesForTest(NULL);
        auto boxes = catcher.boxes();
        ASSERT_EQ(2u, boxes.size());
        const std::string head = "Error reading update header zelto.new. Try update check again later.";
        EXPECT_EQ(head + "error code: 12007\nMessage: \n", boxes[0].text);
        EXPECT_EQ(head, boxes[1].text);
    }
    {
        BoxCatcher catcher;
        reportErrorById(857, "ignored");  // no "%s": the text stays as it is
        EXPECT_EQ("Zelto 2000 has been installed successfully!", catcher.boxes()[0].text);
    }
}
