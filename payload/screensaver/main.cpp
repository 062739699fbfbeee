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
