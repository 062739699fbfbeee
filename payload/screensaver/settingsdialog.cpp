#include "settingsdialog.h"
#include "resource.h"
#include "saverwindow.h"
#include "settings.h"
#include <commctrl.h>

namespace {

const char kHelpFile[] = "Zeltohlp.Hlp";

struct DialogState {
    HINSTANCE instance;
    SaverSettings settings;  // as shown, not yet stored
    HWND preview;
    bool helpOpened;
    char helpPath[MAX_PATH];
};

DialogState dialog;

// The help file lives beside the saver, wherever the saver was installed.
bool findHelpFile(char* path, size_t capacity) {
    char module[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, module, sizeof module);
    if (length == 0 || length >= sizeof module) return false;
    int slash = -1;
    for (DWORD i = 0; i < length; ++i)
        if (module[i] == '\\' || module[i] == '/') slash = static_cast<int>(i);
    size_t folder = static_cast<size_t>(slash + 1);
    size_t name = sizeof kHelpFile;  // with its terminator
    if (folder + name > capacity) return false;
    lstrcpynA(path, module, static_cast<int>(folder + 1));
    lstrcpynA(path + folder, kHelpFile, static_cast<int>(name));
    return true;
}

void showMessage(HWND window, UINT textId, const char* insert) {
    char format[256], text[512], caption[64];
    if (LoadStringA(dialog.instance, textId, format, sizeof format) <= 0) format[0] = '\0';
    if (LoadStringA(dialog.instance, IDS_DESCRIPTION, caption, sizeof caption) <= 0)
        lstrcpynA(caption, "Zelto 2000", sizeof caption);
    // The insert is a path of at most MAX_PATH characters and the format short, so
    // the text fits; wsprintfA never writes more than 1024 characters in any case.
    char expanded[1100];
    wsprintfA(expanded, format, insert ? insert : "");
    lstrcpynA(text, expanded, sizeof text);
    MessageBoxA(window, text, caption, MB_OK | MB_ICONEXCLAMATION);
}

void openHelp(HWND window) {
    if (!findHelpFile(dialog.helpPath, sizeof dialog.helpPath) ||
        GetFileAttributesA(dialog.helpPath) == INVALID_FILE_ATTRIBUTES) {
        showMessage(window, IDS_HELP_MISSING, kHelpFile);
        return;
    }
    if (WinHelpA(window, dialog.helpPath, HELP_CONTENTS, 0)) dialog.helpOpened = true;
}

void fillCombo(HWND window, int control, UINT firstText, int count, DWORD selected) {
    HWND combo = GetDlgItem(window, control);
    for (int i = 0; i < count; ++i) {
        char text[64];
        if (LoadStringA(dialog.instance, firstText + i, text, sizeof text) <= 0) text[0] = '\0';
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    SendMessageA(combo, CB_SETCURSEL, selected, 0);
}

void showSettings(HWND window) {
    const SaverSettings& s = dialog.settings;
    HWND speed = GetDlgItem(window, IDC_SPEED);
    SendMessageA(speed, TBM_SETRANGE, TRUE, MAKELONG(kSpeedMin, kSpeedMax));
    SendMessageA(speed, TBM_SETPAGESIZE, 0, 1);
    SendMessageA(speed, TBM_SETPOS, TRUE, static_cast<LPARAM>(s.speed));
    fillCombo(window, IDC_SPARKS, IDS_SPARKS_FEW, 3, s.sparks);
    fillCombo(window, IDC_COLOURS, IDS_COLOURS_MIDNIGHT, 3, s.colours);
    CheckDlgButton(window, IDC_SHOW_TITLE, s.showTitle ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(window, IDC_SHOW_LOGO, s.showLogo ? BST_CHECKED : BST_UNCHECKED);
}

// Reads the controls into the settings; the controls only offer valid values, and
// anything odd that a control might still answer falls back to the shown value.
void readSettings(HWND window) {
    SaverSettings& s = dialog.settings;
    LRESULT speed = SendDlgItemMessageA(window, IDC_SPEED, TBM_GETPOS, 0, 0);
    if (speed >= static_cast<LRESULT>(kSpeedMin) && speed <= static_cast<LRESULT>(kSpeedMax))
        s.speed = static_cast<DWORD>(speed);
    LRESULT sparks = SendDlgItemMessageA(window, IDC_SPARKS, CB_GETCURSEL, 0, 0);
    if (sparks >= 0 && sparks <= static_cast<LRESULT>(SparksMany)) s.sparks = static_cast<DWORD>(sparks);
    LRESULT colours = SendDlgItemMessageA(window, IDC_COLOURS, CB_GETCURSEL, 0, 0);
    if (colours >= 0 && colours <= static_cast<LRESULT>(ColoursDusk)) s.colours = static_cast<DWORD>(colours);
    s.showTitle = IsDlgButtonChecked(window, IDC_SHOW_TITLE) == BST_CHECKED;
    s.showLogo = IsDlgButtonChecked(window, IDC_SHOW_LOGO) == BST_CHECKED;
}

void refreshPreview(HWND window) {
    readSettings(window);
    if (dialog.preview) SendMessageA(dialog.preview, kMsgApplySettings, 0, reinterpret_cast<LPARAM>(&dialog.settings));
}

void createPreview(HWND window) {
    HWND frame = GetDlgItem(window, IDC_PREVIEW);
    if (!frame) return;
    RECT area;
    GetWindowRect(frame, &area);
    MapWindowPoints(NULL, window, reinterpret_cast<POINT*>(&area), 2);
    dialog.preview = createSaverWindow(dialog.instance, SaverWindowKind::DialogPreview, window, area,
                                       dialog.settings);
}

INT_PTR CALLBACK settingsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        showSettings(window);
        createPreview(window);
        return TRUE;
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lParam) == GetDlgItem(window, IDC_SPEED)) refreshPreview(window);
        return TRUE;
    case WM_HELP:
        openHelp(window);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            readSettings(window);
            if (!saveSettings(dialog.settings)) {
                showMessage(window, IDS_SAVE_FAILED, NULL);
                return TRUE;
            }
            EndDialog(window, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(window, IDCANCEL);
            return TRUE;
        case IDHELP:
            openHelp(window);
            return TRUE;
        case IDC_SPARKS:
        case IDC_COLOURS:
            if (HIWORD(wParam) == CBN_SELCHANGE) refreshPreview(window);
            return TRUE;
        case IDC_SHOW_TITLE:
        case IDC_SHOW_LOGO:
            if (HIWORD(wParam) == BN_CLICKED) refreshPreview(window);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_DESTROY:
        if (dialog.preview) DestroyWindow(dialog.preview);
        dialog.preview = NULL;
        if (dialog.helpOpened) WinHelpA(window, dialog.helpPath, HELP_QUIT, 0);
        dialog.helpOpened = false;
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

INT_PTR runSettingsDialog(HINSTANCE instance, HWND owner) {
    InitCommonControls();  // the speed slider is a common control
    dialog.instance = instance;
    dialog.settings = loadSettings();
    dialog.preview = NULL;
    dialog.helpOpened = false;
    dialog.helpPath[0] = '\0';
    if (owner && !IsWindow(owner)) owner = NULL;
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETTINGS), owner, settingsProc, 0);
    return result == IDOK ? IDOK : IDCANCEL;
}
