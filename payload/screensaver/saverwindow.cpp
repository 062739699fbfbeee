#include "saverwindow.h"
#include "password.h"
#include "resource.h"
#include "scene.h"

const char kSaverClass[] = "Zelto2000Saver";

namespace {

// Only one copy runs full screen: the system may start the saver again while it
// runs (a second /s from the timer, or a user), and that copy just leaves.
const char kFullScreenMutex[] = "Zelto2000ScreenSaver.FullScreen";
const UINT_PTR kFrameTimer = 1;
const UINT kFrameMs = 40;
// A hand resting on the mouse moves it by a pixel or two; more than this ends the saver.
const int kMouseSlack = 5;
// Screen savers ask for this on Windows 95 and 98 so that Ctrl+Alt+Del cannot reach
// the task list while the password may be asked for.
const UINT kSpiScreenSaverRunning = 97;

struct SaverState {
    SaverWindowKind kind;
    HWND window;
    HWND parent;
    HINSTANCE instance;
    SaverSettings settings;
    Scene scene;
    DWORD lastTick;
    POINT mouseStart;
    bool closing;
    bool verifying;
};

SaverState saver;

void startScene(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    saver.scene.create(client.right, client.bottom, saver.settings, saver.instance);
    saver.lastTick = GetTickCount();
    InvalidateRect(window, NULL, FALSE);
}

void requestClose(HWND window) {
    if (saver.closing || saver.verifying) return;
    if (systemPasswordInUse()) {
        saver.verifying = true;
        KillTimer(window, kFrameTimer);
        ShowCursor(TRUE);
        bool ok = verifySystemPassword(window);
        ShowCursor(FALSE);
        saver.verifying = false;
        if (!ok) {
            GetCursorPos(&saver.mouseStart);
            saver.lastTick = GetTickCount();
            SetTimer(window, kFrameTimer, kFrameMs, NULL);
            return;
        }
    }
    saver.closing = true;
    DestroyWindow(window);
}

void onTimer(HWND window) {
    if (saver.kind == SaverWindowKind::Preview && !IsWindow(saver.parent)) {
        // Normally the system destroys us with our parent; this covers a parent in
        // another process that went away without that.
        DestroyWindow(window);
        return;
    }
    DWORD now = GetTickCount();
    saver.scene.advance(now - saver.lastTick);
    saver.lastTick = now;
    HDC dc = GetDC(window);
    if (dc) {
        saver.scene.paint(dc, false);
        ReleaseDC(window, dc);
    }
}

// Input that ends the full-screen saver; the preview ignores it.
bool endsSaver(HWND window, UINT message, LPARAM lParam) {
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case 0x020B:  // WM_XBUTTONDOWN, unknown to the oldest headers
        return true;
    case WM_MOUSEMOVE: {
        // Windows sends a mouse move when the window appears under the pointer,
        // without the mouse moving: judge by the distance from where it started.
        POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        ClientToScreen(window, &at);
        int dx = at.x - saver.mouseStart.x, dy = at.y - saver.mouseStart.y;
        return dx > kMouseSlack || dx < -kMouseSlack || dy > kMouseSlack || dy < -kMouseSlack;
    }
    default:
        return false;
    }
}

LRESULT CALLBACK saverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    bool fullScreen = saver.kind == SaverWindowKind::FullScreen;
    if (fullScreen && endsSaver(window, message, lParam)) {
        requestClose(window);
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        saver.window = window;
        startScene(window);
        SetTimer(window, kFrameTimer, kFrameMs, NULL);
        if (fullScreen) {
            GetCursorPos(&saver.mouseStart);
            ShowCursor(FALSE);
        }
        return 0;
    case WM_SIZE:
        if (saver.window == window &&
            (LOWORD(lParam) != saver.scene.width() || HIWORD(lParam) != saver.scene.height()))
            startScene(window);
        return 0;
    case WM_TIMER:
        if (wParam == kFrameTimer) onTimer(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        if (saver.scene.ready()) saver.scene.paint(dc, true);
        else FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        EndPaint(window, &paint);
        return 0;
    }
    case WM_SETCURSOR:
        if (fullScreen) {
            SetCursor(NULL);
            return TRUE;
        }
        break;
    case WM_ACTIVATEAPP:
        // Another program came to the front: the user is back.
        if (fullScreen && !wParam) requestClose(window);
        break;
    case WM_SYSCOMMAND:
        // Already saving the screen: a new request to start it changes nothing.
        if (fullScreen && ((wParam & 0xFFF0) == SC_SCREENSAVE || (wParam & 0xFFF0) == SC_CLOSE)) return 0;
        break;
    case WM_CLOSE:
        if (fullScreen) requestClose(window);
        else DestroyWindow(window);
        return 0;
    case WM_QUERYNEWPALETTE:
    case WM_PALETTECHANGED:
        // On a 256-colour screen: take our colours back when we may, and repaint with
        // whatever is left to us when another window took them.
        if (saver.scene.palette() && !(message == WM_PALETTECHANGED && reinterpret_cast<HWND>(wParam) == window)) {
            InvalidateRect(window, NULL, FALSE);
            return message == WM_QUERYNEWPALETTE;
        }
        break;
    case kMsgApplySettings:
        if (lParam) {
            saver.settings = *reinterpret_cast<const SaverSettings*>(lParam);
            startScene(window);
        }
        return 0;
    case WM_DESTROY:
        KillTimer(window, kFrameTimer);
        saver.scene.destroy();
        saver.window = NULL;
        if (fullScreen) ShowCursor(TRUE);
        if (saver.kind != SaverWindowKind::DialogPreview) PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int runLoop() {
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

}  // namespace

bool registerSaverClass(HINSTANCE instance) {
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    if (GetClassInfoA(instance, kSaverClass, &wc)) return true;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = saverProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PRODUCT));
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = NULL;
    wc.lpszClassName = kSaverClass;
    return RegisterClassA(&wc) != 0;
}

HWND createSaverWindow(HINSTANCE instance, SaverWindowKind kind, HWND parent, const RECT& area,
                       const SaverSettings& settings) {
    if (saver.window || !registerSaverClass(instance)) return NULL;
    saver.kind = kind;
    saver.parent = parent;
    saver.instance = instance;
    saver.settings = settings;
    saver.closing = saver.verifying = false;
    int width = area.right - area.left, height = area.bottom - area.top;
    if (kind == SaverWindowKind::FullScreen)
        return CreateWindowExA(WS_EX_TOPMOST, kSaverClass, "Zelto 2000", WS_POPUP | WS_VISIBLE,
                               area.left, area.top, width, height, NULL, NULL, instance, NULL);
    DWORD exStyle = kind == SaverWindowKind::DialogPreview ? WS_EX_CLIENTEDGE : 0;
    return CreateWindowExA(exStyle, kSaverClass, "Zelto 2000 Preview",
                           WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, area.left, area.top, width, height,
                           parent, NULL, instance, NULL);
}

int runFullScreen(HINSTANCE instance) {
    HANDLE once = CreateMutexA(NULL, FALSE, kFullScreenMutex);
    if (!once || GetLastError() == ERROR_ALREADY_EXISTS) {
        if (once) CloseHandle(once);
        return 0;
    }
    // The whole desktop, over every monitor where the system knows of more than one.
    RECT area = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
    int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 0 || height <= 0) {
        area.left = area.top = 0;
        width = GetSystemMetrics(SM_CXSCREEN);
        height = GetSystemMetrics(SM_CYSCREEN);
    }
    area.right = area.left + width;
    area.bottom = area.top + height;
    BOOL previous = FALSE;
    bool protectKeys = isWindows9x();
    if (protectKeys) SystemParametersInfoA(kSpiScreenSaverRunning, TRUE, &previous, 0);
    HWND window = createSaverWindow(instance, SaverWindowKind::FullScreen, NULL, area, loadSettings());
    if (window) {
        SetForegroundWindow(window);
        runLoop();
    }
    if (protectKeys) SystemParametersInfoA(kSpiScreenSaverRunning, FALSE, &previous, 0);
    CloseHandle(once);
    return 0;
}

int runPreview(HINSTANCE instance, HWND parent) {
    if (!parent || !IsWindow(parent)) return 0;
    RECT area;
    GetClientRect(parent, &area);
    if (!createSaverWindow(instance, SaverWindowKind::Preview, parent, area, loadSettings())) return 0;
    return runLoop();
}
