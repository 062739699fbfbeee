// Zelto 2000, the screen saver: picks its mode from the command line that the
// display settings (or the system's saver timer) start it with.
#include <windows.h>
#include "cmdline.h"
#include "password.h"
#include "saverwindow.h"
#include "settingsdialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    SaverArgs args = parseSaverArgs(GetCommandLineA());
    switch (args.mode) {
    case SaverMode::FullScreen:
        return runFullScreen(instance);
    case SaverMode::Preview:
        return args.window ? runPreview(instance, args.window) : 0;
    case SaverMode::Password:
        changeSystemPassword(args.window);
        return 0;
    case SaverMode::Settings:
    default: {
        HWND owner = args.ownerFromForeground ? GetForegroundWindow() : args.window;
        runSettingsDialog(instance, owner);
        return 0;
    }
    }
}

// The saver starts here rather than in the C run-time's start-up code, which
// the toolchain ships built for the Pentium Pro: its conditional moves would
// stop a Pentium or a 486 at the first instruction of that code. The static
// constructors run first (__main, from the toolchain's start-up library), as
// that code would run them, and what they register with atexit runs at the end.
namespace {
void(__cdecl* atExit[8])();
int atExitCount = 0;
}  // namespace

// The start-up code kept this table; the system's C run-time library keeps
// its own only for itself.
extern "C" int __cdecl atexit(void(__cdecl* function)()) {
    if (atExitCount == int(sizeof atExit / sizeof atExit[0])) return -1;
    atExit[atExitCount++] = function;
    return 0;
}

extern "C" void __cdecl __main();
extern "C" void __cdecl saverStart() {
    __main();
    int code = WinMain(GetModuleHandleA(NULL), NULL, GetCommandLineA(), SW_SHOWDEFAULT);
    while (atExitCount > 0) atExit[--atExitCount]();
    ExitProcess(UINT(code));
}
