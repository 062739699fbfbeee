#include <winsock2.h>
#include <wininet.h>
#include <gtest/gtest.h>
#include <initializer_list>
#include <regex>
#include "boxcatcher.h"
#include "common/dynlib.h"
#include "common/errors.h"
#include "resources/resource.h"
#include "engine/install.h"
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
        allow({first, second});
    }
    // The paths that the uninstall run may delete, as the update header would give them.
    void allow(std::initializer_list<std::string> paths) {
        setupApp->removableCount = 0;
        for (const std::string& p : paths)
            lstrcpynA(setupApp->removablePaths[setupApp->removableCount++], p.c_str(), MAX_PATH);
    }
    void TearDown() override {
        DeleteFileA(first.c_str());
        DeleteFileA(second.c_str());
        DeleteFileA(log.c_str());
    }
    TestApp app;
    // A removal while path is held open elsewhere fails; the boxes it showed.
    std::vector<CaughtBox> removeWhileHeld(const std::string& path) {
        HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        auto boxes = boxesDuring([] { EXPECT_FALSE(setupApp->removeLoggedFiles()); });
        CloseHandle(held);
        return boxes;
    }
    // One box says files are in use, and the report's one new line names path.
    void expectInUseReported(const std::vector<CaughtBox>& boxes, const std::string& path) {
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ("Some files may be in use and could not be deleted. View zeltoInstall.txt in "
                  "your Windows directory for details.",
                  boxes[0].text);
        EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), boxes[0].style);
        std::smatch m;
        std::string text = readFile(report);
        ASSERT_TRUE(std::regex_match(text, m, std::regex("\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d (.*)\r\n")))
            << text;
        EXPECT_EQ(path + " couldn't be deleted.", m[1].str());
    }
    std::string log, report, first, second;
};

const char kBadHeader[] = "Error reading update header zelto.new. Try update check again later.";
// The text of the one box that a header read failing with a Windows error code shows.
std::string badHeaderBox(DWORD code) {
    auto boxes = boxesDuring([code] {
        SetLastError(code);
        reportErrorById(IDS_BAD_HEADER, "zelto.new");
    });
    EXPECT_EQ(1u, boxes.size());
    return boxes.empty() ? std::string() : boxes[0].text;
}
}  // namespace

TEST_F(LogFixture, LinesAndTheDuplicateRule) {
    EXPECT_TRUE(setupApp->appendInstallLog("C:\\WINDOWS\\SYSTEM\\Zelto 2000.Scr"));
    EXPECT_EQ("C:\\WINDOWS\\SYSTEM\\Zelto 2000.Scr \r\n", readFile(log));
    EXPECT_TRUE(setupApp->appendInstallLog("c:\\windows\\system\\ZELTO 2000.SCR"));
    EXPECT_EQ("C:\\WINDOWS\\SYSTEM\\Zelto 2000.Scr \r\n", readFile(log));
    // Whole lines are compared: a path inside a listed one is another file.
    EXPECT_TRUE(setupApp->appendInstallLog("C:\\WINDOWS\\SYSTEM\\Zelto 2000.Sc"));
    EXPECT_EQ("C:\\WINDOWS\\SYSTEM\\Zelto 2000.Scr \r\nC:\\WINDOWS\\SYSTEM\\Zelto 2000.Sc \r\n",
              readFile(log));
    // A last line torn by a power cut (half a path, zeros) is ended before the
    // next one, which is then listed on its own, once.
    writeFile(log, std::string("C:\\WINDOWS\\SYSTEM\\Zelto 2000.Scr \r\nC:\\WIN\0\0", 43));
    EXPECT_TRUE(setupApp->appendInstallLog("C:\\WINDOWS\\SYSTEM\\Zeltohlp.Hlp"));
    EXPECT_TRUE(setupApp->appendInstallLog("c:\\windows\\system\\zeltohlp.hlp"));
    EXPECT_EQ(std::string("C:\\WINDOWS\\SYSTEM\\Zelto 2000.Scr \r\nC:\\WIN\0\0\r\n"
                          "C:\\WINDOWS\\SYSTEM\\Zeltohlp.Hlp \r\n", 78),
              readFile(log));
    EXPECT_EQ(78, installLogLength());
    EXPECT_TRUE(cutInstallLog(36));
    EXPECT_EQ(36, installLogLength());
    EXPECT_TRUE(cutInstallLog(-1));
    EXPECT_EQ(-1, installLogLength());
    writeFile(log, "C:\\WINDOWS\\SYSTEM\\Zelto 2000.Scr \r\nC:\\WINDOWS\\SYSTEM\\Zeltohlp.Hlp \r\n");
    // a log held open elsewhere can be neither written nor read: it still
    // names files, so the removal fails like a file in use
    HANDLE held = CreateFileA(log.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_FALSE(setupApp->appendInstallLog("C:\\other.txt"));
    CloseHandle(held);
    expectInUseReported(removeWhileHeld(log), log);
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

TEST_F(LogFixture, WithoutALogTheHeadersPathsGoAndWhatStaysIsReported) {
    std::string other = first.substr(0, first.rfind('\\') + 1) + "zelto-other.txt";
    writeFile(other, "o");
    std::vector<CaughtBox> boxes = removeWhileHeld(second);
    EXPECT_FALSE(fileExists(first.c_str()));
    EXPECT_TRUE(fileExists(second.c_str()));
    EXPECT_TRUE(fileExists(other.c_str()));  // named by no header
    expectInUseReported(boxes, second);
    EXPECT_TRUE(setupApp->removeLoggedFiles());
    EXPECT_FALSE(fileExists(second.c_str()));
    EXPECT_FALSE(fileExists(log.c_str()));
    DeleteFileA(other.c_str());
}

TEST_F(LogFixture, ALockedFileKeepsTheLogAndIsReportedOnce) {
    writeFile(log, first + " \r\n" + second + " \r\n");
    reportUndeletable = false;
    EXPECT_TRUE(removeWhileHeld(first).empty());
    EXPECT_EQ("<missing>", readFile(report));
    EXPECT_TRUE(fileExists(log.c_str()));
    EXPECT_FALSE(fileExists(second.c_str()));
    reportUndeletable = true;
    expectInUseReported(removeWhileHeld(first), first + " ");  // the line's blank, then one more
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

TEST_F(LogFixture, OnlyTheHeadersOwnPathsAreDeleted) {
    std::string folder = first.substr(0, first.rfind('\\') + 1);
    std::string other = folder + "zelto-other.txt";
    std::string dotted = folder + "sub\\..\\zelto-other.txt";
    writeFile(other, "o");
    // (a header never gives a path with "..": if it did, it would not be taken)
    allow({first, second, dotted});
    std::string shouted = first;
    CharUpperBuffA(&shouted[0], shouted.size());
    SetCurrentDirectoryA(folder.c_str());
    writeFile(log, other + " \r\n" + dotted + " \r\n" + folder + ".\\zelto-two.txt \r\n" +
                       "\\\\?\\" + second + " \r\n\\\\.\\" + second + " \r\n" +
                       "\\\\localhost\\" + second.substr(0, 1) + "$" + second.substr(2) +
                       " \r\nzelto-two.txt \r\n" + second + ". \r\n" + shouted + " \r\n");
    EXPECT_TRUE(setupApp->removeLoggedFiles());
    SetCurrentDirectoryA("C:\\");
    EXPECT_FALSE(fileExists(first.c_str()));  // listed, in another letter case
    EXPECT_TRUE(fileExists(second.c_str()));
    EXPECT_TRUE(fileExists(other.c_str()));
    EXPECT_FALSE(fileExists(log.c_str()));  // the other lines do not keep it
    DeleteFileA(other.c_str());
}

TEST(RemovablePaths, AreTheHeadersDestinationsOrNothing) {
    TestApp app;
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    ASSERT_TRUE(setupApp->readRemovablePaths());
    ASSERT_EQ(2, setupApp->removableCount);
    EXPECT_STREQ((std::string(system) + "\\Zelto 2000.Scr").c_str(), setupApp->removablePaths[0]);
    EXPECT_STREQ((std::string(system) + "\\Zeltohlp.Hlp").c_str(), setupApp->removablePaths[1]);
    lstrcpyA(setupApp->packages[0].headerName, "absent.new");
    BoxCatcher catcher;
    EXPECT_FALSE(setupApp->readRemovablePaths());
    EXPECT_EQ(0, setupApp->removableCount);
    ASSERT_EQ(1u, catcher.boxes().size());
    EXPECT_EQ(0u, catcher.boxes()[0].text.find("Unable to access update header res::absent.new."));
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), catcher.boxes()[0].style);
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

    auto boxes = boxesDuring([] { EXPECT_FALSE(reportErrorById(IDS_NO_DOWNLOAD, "zelto.sc_")); });
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Couldn't download zelto.sc_.", boxes[0].text);
    EXPECT_EQ("Installer", boxes[0].caption);
    EXPECT_TRUE(std::regex_match(readFile(report),
                                 std::regex("\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d "
                                            "Couldn't download zelto\\.sc_\\.\r\n")));
    const std::string head = kBadHeader;
    // A name that could not be resolved: the internet library was loaded for its text of the code.
    std::string unresolved = badHeaderBox(12007);
    EXPECT_EQ(0u, unresolved.find(head + "error code: 12007\nMessage: "));
    EXPECT_GT(unresolved.size(), (head + "error code: 12007\nMessage: \n").size());
    EXPECT_EQ(head + "error code: 12999\nMessage: \n", badHeaderBox(12999));  // a code without text
    EXPECT_EQ(head, badHeaderBox(12003));  // the server said nothing
    // Without the internet library the message stands without the texts.
    setMissingLibrariesForTest("wininet.dll");
    EXPECT_EQ(head + "error code: 12007\nMessage: \n", badHeaderBox(12007));
    EXPECT_EQ(head, badHeaderBox(12003));
    setMissingLibrariesForTest(NULL);
    boxes = boxesDuring([] { reportErrorById(IDS_INSTALLED, "ignored"); });
    ASSERT_EQ(1u, boxes.size());  // no "%s": the text stays as it is
    EXPECT_EQ("Zelto 2000 has been installed successfully!", boxes[0].text);
}

namespace {
// A server that greets like an FTP server and refuses the login: the internet
// library keeps its answer as the thread's last response.
DWORD WINAPI refuseLogin(void* listener) {
    SOCKET client = accept(reinterpret_cast<SOCKET>(listener), NULL, NULL);
    if (client == INVALID_SOCKET) return 1;
    char line[200];
    send(client, "220 ready\r\n", 11, 0);
    recv(client, line, sizeof line, 0);
    send(client, "530 Denied here\r\n", 17, 0);
    recv(client, line, sizeof line, 0);
    closesocket(client);
    return 0;
}
}  // namespace

TEST_F(LogFixture, TheServerResponseOnlyAfterAnInternetCall) {
    HMODULE wininet = LoadLibraryA("wininet.dll");
    typedef HINTERNET(WINAPI * OpenProc)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
    typedef HINTERNET(WINAPI * ConnectProc)(HINTERNET, LPCSTR, INTERNET_PORT, LPCSTR, LPCSTR, DWORD,
                                            DWORD, DWORD_PTR);
    typedef BOOL(WINAPI * CloseProc)(HINTERNET);
    OpenProc open = reinterpret_cast<OpenProc>(
        reinterpret_cast<void*>(GetProcAddress(wininet, "InternetOpenA")));
    ConnectProc connect = reinterpret_cast<ConnectProc>(
        reinterpret_cast<void*>(GetProcAddress(wininet, "InternetConnectA")));
    CloseProc close = reinterpret_cast<CloseProc>(
        reinterpret_cast<void*>(GetProcAddress(wininet, "InternetCloseHandle")));
    ASSERT_TRUE(open && connect && close);

    WSADATA wsa;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &wsa));
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length));
    ASSERT_EQ(0, listen(listener, 1));
    HANDLE server = CreateThread(NULL, 0, refuseLogin, reinterpret_cast<void*>(listener), 0, NULL);
    HINTERNET session = open("test", INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0);
    HINTERNET ftp = connect(session, "127.0.0.1", ntohs(address.sin_port), "user", "password",
                            INTERNET_SERVICE_FTP, 0, 0);
    EXPECT_EQ(NULL, ftp);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(server, 10000));
    CloseHandle(server);
    closesocket(listener);
    close(session);
    WSACleanup();

    // 712 comes from the program's own header: that response is not its detail.
    EXPECT_EQ(kBadHeader, badHeaderBox(12003));
    // A failure that follows an internet call of its own shows the response.
    char text[1000] = "T";
    SetLastError(12003);
    appendInternetErrorDetail(text, sizeof text, true);
    std::string detail = text;
    EXPECT_EQ(0u, detail.find("Terror code: 12003\nMessage: ")) << detail;
    EXPECT_EQ("530 Denied here", detail.substr(detail.size() - 15)) << detail;
}
