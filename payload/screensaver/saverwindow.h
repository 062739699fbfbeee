// The window that shows the scene: full screen, as a preview inside the display
// settings' little monitor, or inside the settings dialog.
#pragma once
#include <windows.h>
#include "settings.h"

extern const char kSaverClass[];
// Sent (not posted) to a dialog preview with a SaverSettings* in lParam: the
// scene starts again with those settings.
const UINT kMsgApplySettings = WM_APP + 1;

enum class SaverWindowKind { FullScreen, Preview, DialogPreview };

bool registerSaverClass(HINSTANCE instance);
// Creates the window (one per process). For Preview and DialogPreview, parent is
// the window to draw into and area is the rectangle in its client area.
HWND createSaverWindow(HINSTANCE instance, SaverWindowKind kind, HWND parent, const RECT& area,
                       const SaverSettings& settings);

// /s: runs the full-screen saver until the user comes back. Returns the exit code.
int runFullScreen(HINSTANCE instance);
// /p: runs the preview inside parent until parent goes away.
int runPreview(HINSTANCE instance, HWND parent);
