#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string>
#include "boxcatcher.h"
#include "common/dynlib.h"
#include "common/text.h"
#include "resources/resource.h"
#include "shell/setupapp.h"
#include "ui/progress.h"

namespace {
std::string controlText(HWND dialog, int id) {
    char text[300] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}
std::string windowText(HWND window) {
    char text[300] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}
struct MainWindow {
    MainWindow() {
        setupApp->mainWindow = CreateWindowExA(0, "STATIC", "main", WS_POPUP | WS_VISIBLE, 0, 0, 640,
                                               480, NULL, NULL, GetModuleHandleA(NULL), NULL);
    }
    ~MainWindow() { DestroyWindow(setupApp->mainWindow); }
};
}  // namespace

TEST(ProgressText, PercentOrSeconds) {
    // The last row is the longest text, and it still fits.
    const struct { int ms, percent; const char* text; } kRows[] = {
        {0, 100, "100%"}, {0, 42, "42%"}, {15000, 7, "15.000 seconds"}, {1234, 0, "1.234 seconds"},
        {5, 0, "0.005 seconds"}, {2147483647, 0, "2147483.647 seconds"}};
    char text[20];
    for (const auto& row : kRows) {
        formatProgressText(text, sizeof text, row.ms, row.percent);
        EXPECT_STREQ(row.text, text);
    }
}

TEST(ProgressWindow, CaptionsItemsAndReopening) {
    TestApp app;
    MainWindow main;
    setupApp->appIcon = LoadIconA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_PRODUCT));
    ASSERT_NE(nullptr, commonControlsLibrary());
    commonControlsLibrary()->InitCommonControls();
    copyText(setupApp->mirrorDisplayName, sizeof setupApp->mirrorDisplayName, "FTP site 2");

    setupApp->sourceRemote = true;
    setupApp->openProgress(0);
    HWND dialog = setupApp->progressDialog;
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("Connecting to FTP site 2 to check for updates..", windowText(dialog));
    EXPECT_FALSE(IsWindowEnabled(setupApp->mainWindow));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)));
    EXPECT_EQ("0%", controlText(dialog, IDC_PROGRESS_TEXT));

    setupApp->setProgressItem("zelto.new");
    EXPECT_EQ("zelto.new", controlText(dialog, IDC_PROGRESS_ITEM));
    SetDlgItemTextA(dialog, IDC_PROGRESS_ITEM, "marker");
    setupApp->setProgressItem("ZELTO.NEW");  // same text in other letters: nothing sent
    EXPECT_EQ("marker", controlText(dialog, IDC_PROGRESS_ITEM));
    EXPECT_STREQ("zelto.new", setupApp->currentItem);

    setupApp->progressPercent = 100;
    setupApp->updateProgress();
    EXPECT_EQ("100%", controlText(dialog, IDC_PROGRESS_TEXT));
    EXPECT_EQ(100, SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
    setupApp->elapsedMs = 15000;
    setupApp->progressPercent = 37;
    setupApp->updateProgress();
    EXPECT_EQ("15.000 seconds", controlText(dialog, IDC_PROGRESS_TEXT));
    EXPECT_EQ(37, SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
    setupApp->setProgressTitle("Copying files..");
    EXPECT_EQ("Copying files..", windowText(dialog));
    EXPECT_EQ("Connecting to FTP site 2 to check for updates..",
              std::string(setupApp->progressCaption));

    EXPECT_TRUE(setupApp->closeProgress());
    EXPECT_EQ(nullptr, setupApp->progressDialog);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(IsWindowEnabled(setupApp->mainWindow));

    setupApp->openProgress(1);  // modes 1 and 2 whatever the source
    dialog = setupApp->progressDialog;
    EXPECT_EQ("Closing any open dialogs..", windowText(dialog));
    EXPECT_EQ("", controlText(dialog, IDC_PROGRESS_ITEM));
    setupApp->setProgressItem("zelto.new");  // the kept item: control stays empty
    EXPECT_EQ("", controlText(dialog, IDC_PROGRESS_ITEM));
    EXPECT_EQ(0, setupApp->elapsedMs);
    setupApp->closeProgress();
    setupApp->openProgress(2);
    EXPECT_EQ("Uninstalling Zelto 2000..", windowText(setupApp->progressDialog));
    setupApp->closeProgress();
    setupApp->sourceRemote = false;
    setupApp->openProgress(7);  // other modes keep the caption
    EXPECT_EQ("Uninstalling Zelto 2000..", windowText(setupApp->progressDialog));
    // Cancel closes the window, as its command does
    SendMessageA(setupApp->progressDialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(nullptr, setupApp->progressDialog);
    setupApp->openProgress(0);
    EXPECT_EQ("Looking for Updates..", windowText(setupApp->progressDialog));
    setupApp->closeProgress();

    // without a window: the main window is given back, the item is still kept
    EnableWindow(setupApp->mainWindow, FALSE);
    EXPECT_TRUE(setupApp->closeProgress());
    EXPECT_TRUE(IsWindowEnabled(setupApp->mainWindow));
    setupApp->setProgressItem("other");
    EXPECT_STREQ("other", setupApp->currentItem);
}

namespace {
int backdropPaints = 0;
RECT paintedArea;  // the union of the painted rectangles
LRESULT CALLBACK countingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) return DefWindowProcA(window, message, wParam, lParam);
    ++backdropPaints;
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    UnionRect(&paintedArea, &paintedArea, &paint.rcPaint);
    EndPaint(window, &paint);
    return 0;
}
void countPaintsFromNow() {
    backdropPaints = 0;
    SetRectEmpty(&paintedArea);
}
}  // namespace

// The background is painted once when the check's window closes (what it
// covered, and the package's date), and not when it opens; nothing is left to
// paint a second time. The install's window, which changes nothing beneath
// it, has at most what it covered painted again.
TEST(ProgressWindow, BackgroundPaintedOnceAroundTheWindow) {
    TestApp app;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = countingProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "countingBackdrop";
    RegisterClassA(&windowClass);
    setupApp->mainWindow = CreateWindowExA(0, "countingBackdrop", "main", WS_POPUP | WS_VISIBLE, 0, 0,
                                           640, 480, NULL, NULL, GetModuleHandleA(NULL), NULL);
    ASSERT_NE(nullptr, setupApp->mainWindow);
    ASSERT_NE(nullptr, commonControlsLibrary());
    commonControlsLibrary()->InitCommonControls();
    UpdateWindow(setupApp->mainWindow);

    countPaintsFromNow();
    EXPECT_TRUE(setupApp->checkPackages());
    EXPECT_EQ(1, backdropPaints);
    RECT client;
    GetClientRect(setupApp->mainWindow, &client);
    EXPECT_TRUE(EqualRect(&client, &paintedArea));
    EXPECT_FALSE(GetUpdateRect(setupApp->mainWindow, NULL, FALSE));

    setupApp->openProgress(1);
    RECT covered;
    GetWindowRect(setupApp->progressDialog, &covered);
    MapWindowPoints(NULL, setupApp->mainWindow, reinterpret_cast<POINT*>(&covered), 2);
    countPaintsFromNow();
    setupApp->closeProgress();
    EXPECT_GE(1, backdropPaints);
    RECT outside;
    EXPECT_FALSE(SubtractRect(&outside, &paintedArea, &covered));  // nothing outside it
    EXPECT_FALSE(GetUpdateRect(setupApp->mainWindow, NULL, FALSE));
    DestroyWindow(setupApp->mainWindow);
    UnregisterClassA("countingBackdrop", GetModuleHandleA(NULL));
}
