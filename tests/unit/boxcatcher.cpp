#include "boxcatcher.h"
#include "common/paths.h"
#include "shell/setupapp.h"

namespace {
struct Search {
    DWORD thread;
    HWND found;
};
BOOL CALLBACK findBox(HWND window, LPARAM param) {
    Search* search = reinterpret_cast<Search*>(param);
    if (isShownDialog(window) && GetWindowThreadProcessId(window, NULL) == search->thread &&
        GetDlgItem(window, 0xFFFF)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The standard icon a box shows, as its MB_ICON style (0 for none): the box's
// icon control holds the shared icon that LoadIcon gives for that kind.
UINT iconStyleOf(HWND box) {
    static const struct { LPCSTR id; UINT style; } kinds[] = {
        {IDI_HAND, MB_ICONHAND}, {IDI_QUESTION, MB_ICONQUESTION},
        {IDI_EXCLAMATION, MB_ICONEXCLAMATION}, {IDI_ASTERISK, MB_ICONASTERISK}};
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char cls[16] = "";
        GetClassNameA(child, cls, sizeof cls);
        if (lstrcmpiA(cls, "Static") != 0 ||
            (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
            continue;
        HICON icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        for (size_t k = 0; icon && k < sizeof kinds / sizeof kinds[0]; ++k)
            if (icon == LoadIconA(NULL, kinds[k].id)) return kinds[k].style;
    }
    return 0;
}
}  // namespace

bool isShownDialog(HWND window) {
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    return lstrcmpA(cls, "#32770") == 0 && IsWindowVisible(window);
}

BoxCatcher::BoxCatcher(int answer)
    : ownerThread_(GetCurrentThreadId()), answer_(answer) {
    InitializeCriticalSection(&lock_);
    stop_ = CreateEventA(NULL, TRUE, FALSE, NULL);
    thread_ = CreateThread(NULL, 0, run, this, 0, NULL);
}

BoxCatcher::~BoxCatcher() {
    SetEvent(stop_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(stop_);
    DeleteCriticalSection(&lock_);
}

std::vector<CaughtBox> BoxCatcher::boxes() {
    EnterCriticalSection(&lock_);
    std::vector<CaughtBox> copy = boxes_;
    LeaveCriticalSection(&lock_);
    return copy;
}

DWORD WINAPI BoxCatcher::run(void* param) {
    BoxCatcher* self = static_cast<BoxCatcher*>(param);
    HWND answered = NULL;
    while (WaitForSingleObject(self->stop_, 20) == WAIT_TIMEOUT) {
        Search search = {self->ownerThread_, NULL};
        EnumWindows(findBox, reinterpret_cast<LPARAM>(&search));
        if (!search.found || search.found == answered) continue;
        CaughtBox box;
        char buffer[2048] = "";
        GetWindowTextA(search.found, buffer, sizeof buffer);
        box.caption = buffer;
        GetDlgItemTextA(search.found, 0xFFFF, buffer, sizeof buffer);
        box.text = buffer;
        box.style = iconStyleOf(search.found);
        if (GetDlgItem(search.found, IDYES) && GetDlgItem(search.found, IDNO)) box.style |= MB_YESNO;
        EnterCriticalSection(&self->lock_);
        self->boxes_.push_back(box);
        LeaveCriticalSection(&self->lock_);
        answered = search.found;
        int button = self->answer_;
        if (!GetDlgItem(search.found, button)) button = IDOK;
        PostMessageA(search.found, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(search.found, button)));
    }
    return 0;
}

TestApp::TestApp() {
    moduleInstance = GetModuleHandleA(NULL);
    setupApp = createSetupApp(moduleInstance);
    // As at the start: the test program's own file, held, is what copies of it are made from.
    setupApp->programFile = openModuleFile(moduleInstance, setupApp->programPath);
    setupApp->packages[0].setPackageType(PackageZelto);
}

TestApp::~TestApp() { destroySetupApp(); }
