// Leaks: long sessions of background repaints, progress windows and wizard
// page changes leave the process's GDI objects, USER objects and kernel
// handles where they were. The counts come from counters.cpp; the first test
// shows that they follow objects made and freed, so that a flat count means
// something.
#include <windows.h>
#include <gtest/gtest.h>
#include <prsht.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "boxcatcher.h"
#include "common/text.h"
#include "counters.h"
#include "resources/resource.h"
#include "table.h"
#include "shell/setupapp.h"

namespace {
void pump() {
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Counts sampled during a session: the first after warming up, then one per round.
struct Series {
    std::vector<ObjectCounts> samples;
    void add() {
        pump();
        samples.push_back(countObjects());
    }
    // A sample, then rounds of perRound steps with a sample after each.
    template <typename Step> void sample(int rounds, int perRound, Step step) {
        add();
        for (int r = 0; r < rounds; ++r) {
            for (int i = 0; i < perRound; ++i) step(i);
            add();
        }
    }
    std::string text(int ObjectCounts::*field) const {
        std::string s;
        for (const ObjectCounts& c : samples) s += std::to_string(c.*field) + " ";
        return s;
    }
    // The rounds after warming up added nothing. A leak grows with the work, so
    // it raises the counts round after round; Wine fills some caches of its own
    // only when a control is first painted in a state that depends on timing
    // (a system colour brush made on first use), which raises a count once and
    // never again. So up to two rounds (of four or five) may add, four objects
    // of a kind at most in all; a leak adds in every round.
    void expectFlat(const char* session, long long steps, TableRow* row) const {
        row->count = steps;
        ASSERT_GE(samples.size(), 3u) << "at least two rounds";
        const ObjectCounts& first = samples.front();
        ASSERT_GE(first.gdi, 0) << "no GDI count: " << first.gdiMethod;
        ASSERT_GE(first.user, 0) << "no USER count: " << first.userMethod;
        ASSERT_GE(first.handles, 0) << "no handle count: " << first.handleMethod;
        const ObjectCounts& last = samples.back();
        int rises = 0;
        for (size_t i = 1; i < samples.size(); ++i) {
            const ObjectCounts& a = samples[i - 1];
            const ObjectCounts& b = samples[i];
            if (b.gdi > a.gdi || b.user > a.user || b.handles > a.handles) ++rises;
        }
        bool flat = rises <= 2 && last.gdi - first.gdi <= 4 && last.user - first.user <= 4 &&
                    last.handles - first.handles <= 4;
        EXPECT_TRUE(flat) << session << ": GDI " << text(&ObjectCounts::gdi) << "| USER "
                          << text(&ObjectCounts::user) << "| handles "
                          << text(&ObjectCounts::handles) << "\nfirst: " << describe(first)
                          << "\nlast:  " << describe(last);
        printf("%s: %lld steps, GDI %s| USER %s| handles %s\n", session, steps,
               text(&ObjectCounts::gdi).c_str(), text(&ObjectCounts::user).c_str(),
               text(&ObjectCounts::handles).c_str());
        char held[120];
        wsprintfA(held, "GDI %d to %d, USER %d to %d, handles %d to %d", first.gdi, last.gdi,
                  first.user, last.user, first.handles, last.handles);
        row->held_ = held;
    }
};

// The application object with a main window whose messages go to the
// program's own window procedure (subclassed after creation, so that the
// creation does not start the setup).
class Background {
public:
    explicit Background(int width = 800, int height = 600) {
        WNDCLASSA windowClass;
        memset(&windowClass, 0, sizeof windowClass);
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(NULL);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        windowClass.lpszClassName = "relBackground";
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, "relBackground", "Zelto 2000 Setup", WS_POPUP | WS_VISIBLE, 0,
                                 0, width, height, NULL, NULL, GetModuleHandleA(NULL), NULL);
        setupApp->mainWindow = window;
        // The logo is drawn on systems with a new enough shell.
        setupApp->osKind = 5;
        setupApp->shellMajor = 5;
        setupApp->newestFileTime = 977984780;
        mainWindowObject = setupApp;
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(mainWindowProc));
        pump();
    }
    ~Background() {
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcA));
        DestroyWindow(window);
        mainWindowObject = NULL;
        setupApp->mainWindow = NULL;
        pump();
    }
    HWND window;
};

// Wine keeps up to 64 cached window DCs (each with its region) and makes a new
// one whenever no free one is left unassigned, until it has 64: a count taken
// while that cache fills would grow without any leak. Taking 64 at once fills it.
void fillWindowDcCache() {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, NULL, NULL,
                                  NULL, NULL);
    HDC dcs[64];
    for (HDC& dc : dcs) dc = GetDC(window);
    for (HDC dc : dcs) ReleaseDC(window, dc);
    DestroyWindow(window);
    pump();
}

// Paints the background into a memory context of the given depth.
void paintIntoMemory(int width, int height, int bits) {
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bits);
    void* pixels = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &pixels, NULL, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    setupApp->paintBackground(memory);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
}
}  // namespace

namespace {
struct Made {
    int gdi, user, handles;
    ObjectCounts before, withGdi, with, after;
};

// Makes 60 GDI objects, then 20 USER objects and 30 handles, and frees them,
// counting at each stage.
Made makeAndFree() {
    Made m;
    m.before = countObjects();
    std::vector<HGDIOBJ> gdi;
    for (int i = 0; i < 40; ++i) gdi.push_back(CreateSolidBrush(RGB(i, 0, 0)));
    for (int i = 0; i < 10; ++i)
        gdi.push_back(CreateFontA(12 + i, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Arial"));
    for (int i = 0; i < 5; ++i) gdi.push_back(CreateBitmap(8, 8, 1, 1, NULL));
    for (int i = 0; i < 3; ++i) gdi.push_back(CreateRectRgn(0, 0, i + 1, i + 1));
    std::vector<HDC> dcs;
    for (int i = 0; i < 2; ++i) dcs.push_back(CreateCompatibleDC(NULL));
    m.withGdi = countObjects();

    std::vector<HWND> windows;
    for (int i = 0; i < 10; ++i)
        windows.push_back(
            CreateWindowExA(0, "BUTTON", "", WS_POPUP, 0, 0, 9, 9, NULL, NULL, NULL, NULL));
    windows.push_back(
        CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 9, 9, windows[0], NULL, NULL, NULL));
    std::vector<HMENU> menus;
    for (int i = 0; i < 5; ++i) menus.push_back(CreateMenu());
    BYTE bits[128] = {0};
    std::vector<HICON> icons;
    for (int i = 0; i < 4; ++i) icons.push_back(CreateIcon(NULL, 32, 32, 1, 1, bits, bits));
    std::vector<HANDLE> handles;
    for (int i = 0; i < 30; ++i) handles.push_back(CreateEventA(NULL, FALSE, FALSE, NULL));
    pump();
    m.with = countObjects();

    for (HGDIOBJ o : gdi) DeleteObject(o);
    for (HDC dc : dcs) DeleteDC(dc);
    for (int i = static_cast<int>(windows.size()) - 1; i >= 0; --i) DestroyWindow(windows[i]);
    for (HMENU menu : menus) DestroyMenu(menu);
    for (HICON icon : icons) DestroyIcon(icon);
    for (HANDLE h : handles) CloseHandle(h);
    pump();
    m.after = countObjects();
    m.gdi = m.withGdi.gdi - m.before.gdi;
    m.user = m.with.user - m.withGdi.user;
    m.handles = m.with.handles - m.withGdi.handles;
    return m;
}
}  // namespace

TEST(Leaks, CountsFollowObjectsMadeAndFreed) {
    TableRow row("leaks",
                 "the counters: 60 GDI objects, 20 USER objects, 30 handles made and freed", "");
    TestApp app;
    // A window that stays: the system gives a thread with windows one of its
    // own (for input methods) and takes it away with the thread's last window.
    HWND anchor = CreateWindowExA(0, "BUTTON", "", WS_POPUP, 0, 0, 9, 9, NULL, NULL, NULL, NULL);
    pump();
    // The first round brings what a thread's first windows, menus and icons
    // need once; the second must be counted exactly.
    Made first = makeAndFree();
    Made m = makeAndFree();
    printf("counting by: %s; %s; %s\n", m.before.gdiMethod, m.before.userMethod,
           m.before.handleMethod);
    printf("first round: made %d, %d, %d; before %s; after %s\n", first.gdi, first.user,
           first.handles, describe(first.before).c_str(), describe(first.after).c_str());
    ASSERT_GE(m.before.gdi, 0);
    ASSERT_GE(m.before.user, 0);
    ASSERT_GE(m.before.handles, 0);
    EXPECT_EQ(60, m.gdi) << describe(m.before) << " / " << describe(m.withGdi);
    EXPECT_EQ(20, m.user);
    EXPECT_EQ(30, m.handles);
    EXPECT_EQ(m.before.gdi, m.after.gdi);
    EXPECT_EQ(m.before.user, m.after.user);
    EXPECT_EQ(m.before.handles, m.after.handles);
    char held[120];
    wsprintfA(held, "seen +%d, +%d, +%d, and back to %d, %d, %d", m.gdi, m.user, m.handles,
              m.after.gdi, m.after.user, m.after.handles);
    row.held_ = held;
    row.count = 110;
    DestroyWindow(anchor);
}

TEST(Leaks, RepaintsLeaveCountsFlat) {
    TableRow row("leaks",
                 "background repaints: memory contexts, the window, WM_PAINT, logo reloads", "");
    TestApp app;
    fillWindowDcCache();
    Background background;
    long long paints = 0;
    auto round = [&]() {
        for (int i = 0; i < 8; ++i) paintIntoMemory(800, 600, 32);
        paintIntoMemory(640, 480, 8);
        paintIntoMemory(1024, 768, 24);
        for (int i = 0; i < 4; ++i) {
            setupApp->releaseLogo();  // so that the logo is loaded again from its resource
            paintIntoMemory(800, 549 + i * 40, 32);
        }
        for (int i = 0; i < 8; ++i) {
            InvalidateRect(background.window, NULL, FALSE);
            UpdateWindow(background.window);
        }
        paints += 22;
        pump();
    };
    for (int i = 0; i < 2; ++i) round();
    ASSERT_NE(nullptr, setupApp->logoPicture) << "the logo is part of what is painted";
    Series series;
    series.sample(5, 4, [&](int) { round(); });
    series.expectFlat("background repaints", paints, &row);
}

TEST(Leaks, ProgressWindowCyclesLeaveCountsFlat) {
    TableRow row("leaks", "progress windows: open, 10 updates, close or Cancel", "");
    TestApp app;
    fillWindowDcCache();
    Background background;
    copyText(setupApp->mirrorDisplayName, sizeof setupApp->mirrorDisplayName, "zeltosaver.net");
    const char* items[] = {
        "zelto.new", "Zelto 2000.Scr", "Zeltohlp.Hlp",
        "a very long item text that does not fit the line of the progress window at all"};
    long long cycles = 0;
    auto cycle = [&]() {
        int mode = static_cast<int>(cycles % 3);
        setupApp->sourceRemote = cycles % 2 == 0;
        setupApp->openProgress(mode);
        pump();
        for (int k = 0; k < 10; ++k) {
            setupApp->progressPercent = k * 11;
            setupApp->elapsedMs = k % 2 ? k * 1234 : 0;
            setupApp->updateProgress();
            setupApp->setProgressItem(items[k % 4]);
            if (k == 5) setupApp->setProgressTitle("Installing..");
        }
        pump();
        if (cycles % 2) {
            setupApp->closeProgress();
        } else {
            // The Cancel button's command closes the window through its own procedure.
            PostMessageA(setupApp->progressDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            pump();
        }
        EXPECT_EQ(nullptr, setupApp->progressDialog);
        ++cycles;
    };
    for (int i = 0; i < 4; ++i) cycle();
    Series series;
    series.sample(4, 12, [&](int) { cycle(); });
    series.expectFlat("progress windows", cycles, &row);
}

namespace {
enum Place { Welcome, Licence, Options, Finish };
struct Step {
    Place place;
    int action;  // PSBTN_* on a page, IDC_LICENSE_AGREE or IDC_LICENSE_DECLINE on the licence
};

struct ThreadSearch {
    HWND sheet;
    HWND licence;
};
BOOL CALLBACK findWizardWindows(HWND window, LPARAM param) {
    ThreadSearch* search = reinterpret_cast<ThreadSearch*>(param);
    if (!isShownDialog(window)) return TRUE;
    if (GetDlgItem(window, IDC_LICENSE_AGREE) && GetDlgItem(window, IDC_LICENSE_TEXT))
        search->licence = window;
    else if (SendMessageA(window, PSM_GETCURRENTPAGEHWND, 0, 0))
        search->sheet = window;
    return TRUE;
}

// Presses the wizard's buttons from a second thread, one step of a script at
// a time, each once the page or dialog it is meant for is showing.
class WizardDriver {
public:
    WizardDriver(DWORD ownerThread, const std::vector<Step>& script)
        : owner_(ownerThread), script_(script), done_(0) {
        stop_ = CreateEventA(NULL, TRUE, FALSE, NULL);
        thread_ = CreateThread(NULL, 0, run, this, 0, NULL);
    }
    ~WizardDriver() {
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        CloseHandle(stop_);
    }
    size_t stepsDone() const { return done_; }

private:
    static DWORD WINAPI run(void* param) {
        WizardDriver* self = static_cast<WizardDriver*>(param);
        HWND lastPage = NULL;
        HWND lastLicence = NULL;
        while (WaitForSingleObject(self->stop_, 10) == WAIT_TIMEOUT &&
               self->done_ < self->script_.size()) {
            ThreadSearch found = {NULL, NULL};
            EnumThreadWindows(self->owner_, findWizardWindows, reinterpret_cast<LPARAM>(&found));
            const Step& step = self->script_[self->done_];
            if (step.place == Licence) {
                if (!found.licence || found.licence == lastLicence) continue;
                lastLicence = found.licence;
                PostMessageA(found.licence, WM_COMMAND, MAKEWPARAM(step.action, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(found.licence, step.action)));
                ++self->done_;
                continue;
            }
            if (!found.sheet || found.licence) continue;
            HWND page =
                reinterpret_cast<HWND>(SendMessageA(found.sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
            if (!page || page == lastPage) continue;
            Place place = GetDlgItem(page, IDC_WELCOME_TITLE)    ? Welcome
                          : GetDlgItem(page, IDC_FINISH_SUMMARY) ? Finish
                                                                 : Options;
            if (place != step.place) continue;
            lastPage = page;
            PostMessageA(found.sheet, PSM_PRESSBUTTON, step.action, 0);
            ++self->done_;
        }
        return 0;
    }
    DWORD owner_;
    std::vector<Step> script_;
    volatile size_t done_;
    HANDLE stop_;
    HANDLE thread_;
};
}  // namespace

TEST(Leaks, WizardPageChangesLeaveCountsFlat) {
    TableRow row("leaks", "wizard button presses: Next, Back, Finish, Cancel, licence answers", "");
    TestApp app;
    fillWindowDcCache();
    Background background;
    BoxCatcher catcher;  // no box is expected; one would stop the wizard
    const std::vector<Step> scripts[] = {
        // Through every page and back, then Finish.
        {{Welcome, PSBTN_NEXT},
         {Licence, IDC_LICENSE_AGREE},
         {Options, PSBTN_BACK},
         {Welcome, PSBTN_NEXT},
         {Licence, IDC_LICENSE_AGREE},
         {Options, PSBTN_NEXT},
         {Finish, PSBTN_BACK},
         {Options, PSBTN_NEXT},
         {Finish, PSBTN_FINISH}},
        // Cancel on the last page.
        {{Welcome, PSBTN_NEXT},
         {Licence, IDC_LICENSE_AGREE},
         {Options, PSBTN_NEXT},
         {Finish, PSBTN_CANCEL}},
        // The licence declined.
        {{Welcome, PSBTN_NEXT}, {Licence, IDC_LICENSE_DECLINE}},
        // Cancel on the first page.
        {{Welcome, PSBTN_CANCEL}},
    };
    const bool finishes[] = {true, false, false, false};
    long long pageChanges = 0;
    int sessions = 0;
    auto session = [&](int which) {
        WizardDriver driver(GetCurrentThreadId(), scripts[which]);
        int result = setupApp->runSetupWizard();
        EXPECT_EQ(scripts[which].size(), driver.stepsDone()) << "script " << which;
        EXPECT_EQ(finishes[which], result > 0) << "script " << which << " answered " << result;
        pageChanges += static_cast<long long>(scripts[which].size());
        ++sessions;
    };
    // Two rounds to warm up: the first sessions fill caches of the dialogs and fonts.
    for (int i = 0; i < 8; ++i) session(i % 4);
    Series series;
    series.sample(5, 4, session);
    EXPECT_TRUE(catcher.boxes().empty());
    series.expectFlat("wizard sessions", pageChanges, &row);
    printf("wizard: %d sessions, %lld button presses\n", sessions, pageChanges);
}
