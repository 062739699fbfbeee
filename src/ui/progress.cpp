#include "ui/progress.h"
#include "common/messages.h"
#include "common/text.h"
#include "resources/resource.h"
#include "shell/setupapp.h"
#include <commctrl.h>
#include <string.h>

void formatProgressText(char* out, size_t capacity, LONG elapsedMs, LONG percent) {
    memset(out, 0, capacity);
    if (elapsedMs != 0)
        formatText(out, capacity, "%d.%03d seconds", static_cast<int>(elapsedMs / 1000),
                   static_cast<int>(elapsedMs % 1000));
    else
        formatText(out, capacity, "%d%%", static_cast<int>(percent));
}

void SetupApp::openProgress(int mode) {
    switch (mode) {
    case ProgressPackageCheck:
        if (sourceRemote) {
            char format[kTextCapacity];
            loadText(format, IDS_CONNECTING);
            formatText(progressCaption, sizeof progressCaption, format, mirrorDisplayName);
        } else {
            char text[kTextCapacity];
            loadText(text, IDS_LOOKING);
            copyText(progressCaption, sizeof progressCaption, text);
        }
        break;
    case ProgressReplaceCheck:
    case ProgressUninstall: {
        char text[kTextCapacity];
        loadText(text, mode == ProgressReplaceCheck ? IDS_CLOSING_DIALOGS : IDS_UNINSTALLING);
        copyText(progressCaption, sizeof progressCaption, text);
        break;
    }
    default:
        break;
    }
    progressPercent = 0;
    elapsedMs = 0;
    updateProgress();
    EnableWindow(mainWindow, FALSE);
    // Unattended, nothing is shown: the progress functions then address no window.
    if (!unattended)
        CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_PROGRESS), mainWindow, progressDialogProc, 0);
    // The work that follows pumps no messages: paint the window (icon, button)
    // now, or it shows only the controls that redraw themselves; and whatever
    // of the background waits to be painted. The rest of the background is
    // as it was: the window only covers it.
    if (progressDialog) UpdateWindow(progressDialog);
    UpdateWindow(mainWindow);
}

INT_PTR CALLBACK progressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    SetupApp* app = setupApp;
    switch (message) {
    case WM_INITDIALOG:
        SetCursor(LoadCursorA(NULL, IDC_APPSTARTING));
        app->progressDialog = window;
        SendDlgItemMessageA(window, IDC_PROGRESS_ICON, STM_SETICON,
                            reinterpret_cast<WPARAM>(app->appIcon), 0);
        SetWindowTextA(window, app->progressCaption);
        SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) return app->closeProgress();
        return FALSE;
    default:
        return FALSE;
    }
}

void SetupApp::updateProgress() {
    SendDlgItemMessageA(progressDialog, IDC_PROGRESS_BAR, PBM_SETPOS,
                        static_cast<WPARAM>(progressPercent), 0);
    char text[20];
    formatProgressText(text, sizeof text, elapsedMs, progressPercent);
    SetDlgItemTextA(progressDialog, IDC_PROGRESS_TEXT, text);
}

void SetupApp::setProgressPercent(LONG percent) {
    progressPercent = percent;
    updateProgress();
}

void SetupApp::advanceProgress(LONG step) {
    setProgressPercent(progressPercent + step > 100 ? 100 : progressPercent + step);
}

void SetupApp::setProgressElapsed(LONG ms) { elapsedMs = ms; }

void SetupApp::setProgressItem(const char* text) {
    if (lstrcmpiA(text, currentItem) == 0) return;
    copyText(currentItem, sizeof currentItem, text);
    SetDlgItemTextA(progressDialog, IDC_PROGRESS_ITEM, currentItem);
}

void SetupApp::setProgressTitle(const char* text) { SetWindowTextA(progressDialog, text); }

bool SetupApp::closeProgress() {
    EnableWindow(mainWindow, TRUE);
    if (progressDialog) {
        SetCursor(LoadCursorA(NULL, IDC_ARROW));
        DestroyWindow(progressDialog);
        progressDialog = NULL;
    }
    // Painted now, through the window's own painting, which leaves nothing for
    // later: what the window covered, and what the work before marked as
    // changed. The rest of the background is as it was, so it is not painted
    // again (a full repaint of a maximised window is the costliest paint).
    UpdateWindow(mainWindow);
    return true;
}
