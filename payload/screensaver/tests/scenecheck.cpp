// Checks that run inside the robot's own process: the command line, the settings
// in the registry, and the scene drawn into memory.
#include "cmdline.h"
#include "logo.h"
#include "password.h"
#include "resource.h"
#include "robot.h"
#include "saverwindow.h"
#include "scene.h"
#include "settings.h"
#include "checks.h"
#include <string.h>

void checkCommandLines() {
    struct Case {
        const char* line;
        SaverMode mode;
        UINT_PTR window;
        bool fromForeground;
    } cases[] = {
        {"saver.scr", SaverMode::Settings, 0, false},
        {"\"C:\\Program Files\\Zelto 2000.Scr\"", SaverMode::Settings, 0, false},
        {"\"C:\\Program Files\\Zelto 2000.Scr\" /s", SaverMode::FullScreen, 0, false},
        {"saver.scr -S", SaverMode::FullScreen, 0, false},
        {"saver.scr /save", SaverMode::FullScreen, 0, false},
        {"saver.scr /p 1234", SaverMode::Preview, 1234, false},
        {"saver.scr /P:77", SaverMode::Preview, 77, false},
        {"saver.scr /l 55", SaverMode::Preview, 55, false},
        {"saver.scr /p", SaverMode::Preview, 0, false},
        {"saver.scr /p abc", SaverMode::Preview, 0, false},
        {"saver.scr /p 12x", SaverMode::Preview, 0, false},
        {"saver.scr /p 4294967295", SaverMode::Preview, 4294967295u, false},
        {"saver.scr /p 4294967296", SaverMode::Preview, 0, false},
        {"saver.scr /c:4660", SaverMode::Settings, 4660, false},
        {"saver.scr /C 12", SaverMode::Settings, 12, false},
        {"saver.scr /c", SaverMode::Settings, 0, true},
        {"saver.scr /a 100", SaverMode::Password, 100, false},
        {"saver.scr /x", SaverMode::Settings, 0, false},
        {"saver.scr /", SaverMode::Settings, 0, false},
        {"saver.scr garbage", SaverMode::Settings, 0, false},
    };
    bool allOk = true;
    for (const Case& c : cases) {
        SaverArgs args = parseSaverArgs(c.line);
        bool ok = args.mode == c.mode && reinterpret_cast<UINT_PTR>(args.window) == c.window &&
                  args.ownerFromForeground == c.fromForeground;
        if (!ok)
            note("command line [%s]: mode %d window %lu foreground %d", c.line, static_cast<int>(args.mode),
                 static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(args.window)), args.ownerFromForeground);
        allOk = allOk && ok;
    }
    SaverArgs none = parseSaverArgs(NULL);
    check(allOk && none.mode == SaverMode::Settings, "command lines: modes, windows and owners");
}

void checkPasswordFlag() {
    struct Case {
        LONG status;
        DWORD type;
        const char* data;
        DWORD size;
        bool inUse;
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, REG_NONE, "", 0, false},
        {ERROR_SUCCESS, REG_DWORD, "\0\0\0\0", 4, false},
        {ERROR_SUCCESS, REG_DWORD, "\1\0\0\0", 4, true},
        {ERROR_SUCCESS, REG_SZ, "0", 2, false},
        {ERROR_SUCCESS, REG_SZ, "", 1, false},
        {ERROR_SUCCESS, REG_SZ, "1", 2, true},
        // Over-long or malformed: the password is asked for.
        {ERROR_MORE_DATA, REG_SZ, "00000000", 8, true},
        {ERROR_SUCCESS, REG_SZ, "0000", 5, true},
        {ERROR_SUCCESS, REG_DWORD, "\0\0", 2, true},
        {ERROR_SUCCESS, REG_BINARY, "\0\0\0\0", 4, true},
        {ERROR_ACCESS_DENIED, REG_NONE, "", 0, true},
    };
    bool allOk = true;
    for (const Case& c : cases) {
        BYTE data[8] = {0};
        memcpy(data, c.data, c.size);
        bool ok = passwordFlagSet(c.status, c.type, data, c.size) == c.inUse;
        if (!ok) note("password flag: status %ld type %lu size %lu", c.status, c.type, c.size);
        allOk = allOk && ok;
    }
    check(allOk, "password flag: unreadable or malformed values ask for the password");
}

void clearSettingsKey() { RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey); }

void writeRawValue(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = NULL;
    if (RegCreateKeyA(HKEY_CURRENT_USER, kSettingsKey, &key) != ERROR_SUCCESS) return;
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void writeDword(const char* name, DWORD value) { writeRawValue(name, REG_DWORD, &value, sizeof value); }

bool readDword(const char* name, DWORD* value) {
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = sizeof *value;
    bool ok = RegQueryValueExA(key, name, NULL, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
              type == REG_DWORD && size == sizeof *value;
    RegCloseKey(key);
    return ok;
}

bool sameSettings(const SaverSettings& a, const SaverSettings& b) {
    return a.speed == b.speed && a.sparks == b.sparks && a.colours == b.colours &&
           a.showTitle == b.showTitle && a.showLogo == b.showLogo;
}

void writeBadSettings() {
    clearSettingsKey();
    writeRawValue("Speed", REG_SZ, "7", 2);              // text, not a number
    writeDword("Sparks", 3);                              // one past the last density
    WORD shortValue = 1;
    writeRawValue("Colours", REG_BINARY, &shortValue, 2);  // too short
    writeDword("ShowTitle", 2);                           // not a Boolean
    unsigned long long wide = 0;
    writeRawValue("ShowLogo", REG_BINARY, &wide, 8);       // too long
}

void checkSettings() {
    const SaverSettings defaults = defaultSettings();
    clearSettingsKey();
    check(sameSettings(loadSettings(), defaults), "settings: no key gives the defaults");

    writeBadSettings();
    check(sameSettings(loadSettings(), defaults), "settings: wrong types, sizes and ranges give the defaults");

    // Each value stands on its own: the valid ones are kept beside bad ones.
    writeDword("Speed", kSpeedMax);
    writeDword("ShowTitle", 0);
    SaverSettings mixed = loadSettings();
    check(mixed.speed == kSpeedMax && mixed.showTitle == 0 && mixed.sparks == defaults.sparks &&
              mixed.colours == defaults.colours && mixed.showLogo == defaults.showLogo,
          "settings: valid values kept beside bad ones");

    struct Bound { DWORD value; DWORD expected; } speeds[] = {
        {0, 5}, {kSpeedMin, kSpeedMin}, {kSpeedMax, kSpeedMax}, {kSpeedMax + 1, 5}, {0xFFFFFFFFu, 5}};
    bool boundsOk = true;
    for (const Bound& b : speeds) {
        writeDword("Speed", b.value);
        boundsOk = boundsOk && loadSettings().speed == b.expected;
    }
    check(boundsOk, "settings: speed range ends");

    SaverSettings changed = {2, SparksMany, ColoursDusk, 0, 0};
    check(saveSettings(changed) && sameSettings(loadSettings(), changed), "settings: store and read back");
    clearSettingsKey();
}

namespace {

// The highest GDI handle index among a batch of new objects. Handle tables hand
// out freed slots first, so this grows only when objects are kept alive: a GDI
// object count that also works where GetGuiResources does not.
DWORD gdiHighWater() {
    HGDIOBJ probes[64];
    DWORD highest = 0;
    for (HGDIOBJ& p : probes) {
        p = CreateSolidBrush(RGB(1, 2, 3));
        DWORD index = LOWORD(reinterpret_cast<UINT_PTR>(p));
        if (index > highest) highest = index;
    }
    for (HGDIOBJ p : probes) DeleteObject(p);
    return highest;
}

bool samePixels(const PixelSurface& a, const PixelSurface& b) {
    GdiFlush();
    return memcmp(a.pixels, b.pixels, sizeof(DWORD) * a.width * a.height) == 0;
}

}  // namespace

DWORD gdiObjectsOf(HANDLE process) {
    typedef DWORD(WINAPI * GuiResources)(HANDLE, DWORD);
    GuiResources get = reinterpret_cast<GuiResources>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetGuiResources")));
    return get ? get(process, 0 /* GR_GDIOBJECTS */) : 0;
}

void checkScene(HINSTANCE instance) {
    SaverSettings settings = defaultSettings();
    settings.sparks = SparksMany;

    // The logo, where the saver carries one: read through the system's picture
    // support, with its transparency recovered.
    if (FindResourceA(instance, MAKEINTRESOURCEA(IDG_LOGO), "RES_GIF")) {
        LogoPixels logo;
        bool loaded = loadLogo(instance, 48, &logo);
        int opaque = 0;
        for (int i = 0; loaded && i < 48 * 48; ++i) opaque += logo.alpha[i] > 128;
        check(loaded && opaque > 48 * 48 / 4, "scene: the saver's logo loads", "%d opaque pixels", opaque);
        freeLogo(&logo);
    } else {
        note("this saver carries no logo: the scene is checked without one");
    }

    // Painting only what changed must give exactly the picture of a full paint:
    // nothing left behind where things moved away.
    const int width = 640, height = 480;
    PixelSurface changes, whole;
    memset(&changes, 0, sizeof changes);
    memset(&whole, 0, sizeof whole);
    bool surfaces = changes.create(width, height) && whole.create(width, height);
    Scene scene;
    bool created = surfaces && scene.create(width, height, settings, instance);
    bool same = created;
    if (created) {
        scene.paint(changes.dc, true);
        for (int frame = 1; frame <= 600 && same; ++frame) {
            scene.advance(frame % 7 == 0 ? 250 : 40);  // now and then a late timer
            scene.paint(changes.dc, false);
            if (frame % 50 == 0) {
                scene.paint(whole.dc, true);
                same = samePixels(changes, whole);
                if (!same) note("frame %d differs from a full paint", frame);
            }
        }
    }
    check(same, "scene: painting the changes equals painting everything, over 600 frames");
    scene.destroy();

    // Odd window sizes: the display settings' little monitor, a sliver, nothing.
    struct Size { int w, h; bool expected; } sizes[] = {
        {152, 112, true}, {1, 1, true}, {3, 2000, true}, {2000, 3, true}, {0, 100, false}, {100, -5, false}};
    bool sizesOk = true;
    for (const Size& s : sizes) {
        bool made = scene.create(s.w, s.h, settings, instance);
        if (made) {
            for (int frame = 0; frame < 50; ++frame) {
                scene.advance(40);
                scene.paint(changes.dc, false);
            }
        }
        sizesOk = sizesOk && made == s.expected;
        scene.destroy();
    }
    check(sizesOk, "scene: small, thin and empty windows");

    // GDI objects stay level: many frames, and the scene built again and again as
    // the settings dialog does when a setting changes.
    DWORD startGui = gdiObjectsOf(GetCurrentProcess());
    DWORD startMark = gdiHighWater();
    for (int round = 0; round < 40; ++round) {
        settings.showTitle = round % 2;
        settings.colours = round % 3;
        if (!scene.create(320, 240, settings, instance)) continue;
        for (int frame = 0; frame < 25; ++frame) {
            scene.advance(40);
            scene.paint(changes.dc, false);
        }
        scene.destroy();
    }
    settings = defaultSettings();
    if (scene.create(1024, 768, settings, instance)) {
        for (int frame = 0; frame < 3000; ++frame) {
            scene.advance(40);
            scene.paint(changes.dc, frame % 500 == 0);
        }
    }
    scene.destroy();
    DWORD endGui = gdiObjectsOf(GetCurrentProcess());
    DWORD endMark = gdiHighWater();
    note("GDI in the robot: GetGuiResources %lu -> %lu, handle high water %lu -> %lu", startGui, endGui,
         startMark, endMark);
    check(endMark <= startMark + 8 && endGui <= startGui + 2, "scene: GDI objects level over 40 builds and 3000 frames");
    changes.destroy();
    whole.destroy();
}

// The saver's window code in the robot's own process, inside a window of the
// robot's as in the settings dialog: it must paint the sky there, and its frames
// (each a GetDC and ReleaseDC), repaints and restarts must keep GDI objects level.
void checkSaverWindow(HINSTANCE instance) {
    HWND host = createHost(300, 60, 200, 150);
    RECT area = {0, 0, 200, 150};
    SaverSettings settings = defaultSettings();
    HWND preview = createSaverWindow(instance, SaverWindowKind::DialogPreview, host, area, settings);
    if (!check(preview != NULL, "saver window: opens inside a window of this process")) {
        DestroyWindow(host);
        return;
    }
    pump(500);
    RECT client;
    GetClientRect(preview, &client);
    HDC dc = GetDC(preview);
    int share = skyShare(dc, client);
    ReleaseDC(preview, dc);
    check(share > 80, "saver window: paints the sky into its window", "%d%% of samples", share);

    DWORD startGui = gdiObjectsOf(GetCurrentProcess());
    DWORD startMark = gdiHighWater();
    for (int frame = 1; frame <= 2000; ++frame) {
        SendMessageA(preview, WM_TIMER, 1, 0);
        if (frame % 100 == 0) {
            InvalidateRect(preview, NULL, FALSE);
            UpdateWindow(preview);
        }
        if (frame % 400 == 0) {
            settings.sparks = frame / 400 % 3;
            SendMessageA(preview, kMsgApplySettings, 0, reinterpret_cast<LPARAM>(&settings));
        }
    }
    DWORD endGui = gdiObjectsOf(GetCurrentProcess());
    DWORD endMark = gdiHighWater();
    note("GDI of the saver window: GetGuiResources %lu -> %lu, handle high water %lu -> %lu", startGui, endGui,
         startMark, endMark);
    check(endMark <= startMark + 8 && endGui <= startGui + 2,
          "saver window: GDI objects level over 2000 frames, 20 repaints and 5 restarts");
    DestroyWindow(host);
    check(!IsWindow(preview), "saver window: goes with its parent");
}
