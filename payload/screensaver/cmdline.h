// The command line of a screen saver: which of its modes to run, and the window
// that the display settings hand over with it.
#pragma once
#include <windows.h>

enum class SaverMode {
    Settings,    // /c, /c:<window>, no argument, or an argument we do not know
    FullScreen,  // /s
    Preview,     // /p <window> (/l <window> on early Windows 95 builds)
    Password     // /a <window>, Windows 95 and 98 only
};

struct SaverArgs {
    SaverMode mode;
    HWND window;        // the window named on the command line, NULL if none or unreadable
    bool ownerFromForeground;  // /c without a window: the settings belong to the active window
};

// Parses the whole command line as GetCommandLineA gives it, program name first.
SaverArgs parseSaverArgs(const char* commandLine);
