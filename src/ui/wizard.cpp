#include "ui/wizard.h"
#include "common/dynlib.h"
#include "common/messages.h"
#include "common/text.h"
#include "resources/resource.h"
#include "shell/setupapp.h"
#include <commctrl.h>
#include <prsht.h>
#include <string.h>

// The page records are the 48-byte form that every version of the common controls reads.
typedef PROPSHEETPAGEA_V2 WizardPage;
static_assert(sizeof(WizardPage) == 48, "property sheet pages are 48-byte records");
static_assert(sizeof(PROPSHEETHEADERA) == 52, "the sheet header carries the bitmap members");

namespace {
// Set when the licence was declined or could not be read: the wizard then ends
// as cancelled, whatever the sheet answers.
bool licenceRefused = false;

// The check boxes of the Apply Options page and the components they stand for;
// components 1 and 5 have no box.
const struct {
    int box;
    int component;
} kActivateBoxes[] = {
    {IDC_ACTIVATE_SAVER, 0},  {IDC_ACTIVATE_CURSORS, 2}, {IDC_ACTIVATE_WALLPAPER, 3},
    {IDC_ACTIVATE_SAVER2, 4}, {IDC_ACTIVATE_SOUNDS, 6},
};

void setWizardButtons(HWND page, DWORD buttons) {
    PostMessageA(GetParent(page), PSM_SETWIZBUTTONS, 0, static_cast<LPARAM>(buttons));
}

void setResult(HWND page, LONG_PTR result) { SetWindowLongPtrA(page, DWLP_MSGRESULT, result); }

// A page's answer to the notices it does not act on itself: leaving it and
// cancelling are allowed, and Back and the page's own way on (Next or Finish)
// take the sheet's order of pages.
INT_PTR answerPageNotice(HWND page, UINT code, UINT onward) {
    if (code == PSN_KILLACTIVE || code == PSN_RESET) {
        setResult(page, 0);
        return TRUE;
    }
    return code == PSN_WIZBACK || code == onward;
}
}  // namespace

int SetupApp::runSetupWizard() {
    licenceRefused = false;
    // An unattended install takes the wizard's default choices; starting it with /S
    // is the administrator's acceptance of the licence.
    if (unattended) {
        computeSelectedTotals();
        return 1;
    }
    WizardPage pages[3];
    memset(pages, 0, sizeof pages);
    static const struct {
        int templateId;
        DLGPROC procedure;
        const char* title;
    } kPages[3] = {
        {IDD_WELCOME, welcomePageProc, "Welcome"},
        {IDD_OPTIONS, optionsPageProc, "Apply Options"},
        {IDD_FINISH, finishPageProc, "Finish Installation"},
    };
    for (int i = 0; i < 3; ++i) {
        pages[i].dwSize = sizeof(WizardPage);
        pages[i].dwFlags = PSP_DEFAULT;
        pages[i].hInstance = instance;
        pages[i].pszTemplate = MAKEINTRESOURCEA(kPages[i].templateId);
        pages[i].pfnDlgProc = kPages[i].procedure;
        pages[i].pszTitle = kPages[i].title;
        pages[i].lParam = 0;
    }
    PROPSHEETHEADERA header;
    memset(&header, 0, sizeof header);
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_WIZARD | PSH_NOAPPLYNOW;
    header.hwndParent = mainWindow;
    header.pszCaption = "Product Install";
    header.nPages = 3;
    header.nStartPage = 0;
    header.ppsp = reinterpret_cast<LPCPROPSHEETPAGEA>(pages);
    const CommonControlsLibrary* comctl32 = commonControlsLibrary();
    INT_PTR result = comctl32 ? comctl32->PropertySheetA(&header) : -1;
    if (licenceRefused && result > 0) return 0;
    return static_cast<int>(result);
}

void SetupApp::computeSelectedTotals() {
    installExpandedBytes = 0;
    installCompressedBytes = 0;
    for (int i = 0; i < kComponentCount; ++i) {
        if (!componentPresent[i]) continue;
        // The totals are 32-bit: the low half of each 64-bit sum is taken.
        installExpandedBytes = static_cast<LONG>(static_cast<DWORD>(installExpandedBytes) +
                                                 static_cast<DWORD>(packages[i].uncompressedTotal));
        installCompressedBytes = static_cast<LONG>(static_cast<DWORD>(installCompressedBytes) +
                                                   static_cast<DWORD>(packages[i].compressedTotal));
    }
}

POINT centredPosition(int width, int height, int screenWidth, int screenHeight) {
    POINT p = {(screenWidth - width) / 2, (screenHeight - height) / 2};
    return p;
}

void centreOnScreen(HWND window) {
    RECT r;
    if (!GetWindowRect(window, &r)) return;
    int width = r.right - r.left;
    int height = r.bottom - r.top;
    POINT p = centredPosition(width, height, GetSystemMetrics(SM_CXSCREEN),
                              GetSystemMetrics(SM_CYSCREEN));
    SetWindowPos(window, NULL, p.x, p.y, width, height, SWP_NOZORDER);
}

INT_PTR CALLBACK welcomePageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    SetupApp* app = setupApp;
    if (message == WM_INITDIALOG) {
        centreOnScreen(GetParent(page));
        HFONT font = reinterpret_cast<HFONT>(SendDlgItemMessageA(page, IDC_WELCOME_TITLE,
                                                                 WM_GETFONT, 0, 0));
        LOGFONTA logFont;
        if (font && GetObjectA(font, sizeof logFont, &logFont) == sizeof logFont) {
            logFont.lfWeight = FW_BOLD;
            if (app->boldFont) DeleteObject(app->boldFont);
            app->boldFont = CreateFontIndirectA(&logFont);
            if (app->boldFont)
                SendDlgItemMessageA(page, IDC_WELCOME_TITLE, WM_SETFONT,
                                    reinterpret_cast<WPARAM>(app->boldFont), TRUE);
        }
        setResult(page, 0);
        return TRUE;
    }
    if (message != WM_NOTIFY) return FALSE;
    switch (reinterpret_cast<NMHDR*>(lParam)->code) {
    case PSN_SETACTIVE:
        setWizardButtons(page, PSWIZB_NEXT);
        return TRUE;
    case PSN_KILLACTIVE:
    case PSN_RESET:
        setResult(page, 0);
        return TRUE;
    case PSN_WIZNEXT: {
        // The licence must be accepted before anything else is asked.
        INT_PTR answer = DialogBoxParamA(app->instance, MAKEINTRESOURCEA(IDD_LICENSE), page,
                                         licenseDialogProc, 0);
        if (answer == IDC_LICENSE_AGREE) {
            setResult(page, 0);
        } else {
            // Declined, closed or unreadable: stay on this page and end the
            // wizard the way its Cancel button does.
            licenceRefused = true;
            setResult(page, -1);
            PostMessageA(GetParent(page), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        }
        return TRUE;
    }
    default:
        return FALSE;
    }
}

namespace {
// Puts the licence resource into the text box; false when it cannot be read or shown.
bool showLicenceText(HWND dialog) {
    char name[50];
    copyText(name, sizeof name, "licenseEval.txt");
    const BYTE* bytes = NULL;
    DWORD size = 0;
    HGLOBAL handle = NULL;
    bool shown = false;
    // A loaded resource is never empty, so that size - 1 below is a length.
    if (loadFileResource(name, &bytes, &size, &handle)) {
        // The text is shown without its last byte (the final line feed).
        char* text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
        if (text) {
            memcpy(text, bytes, size - 1);
            text[size - 1] = '\0';
            shown = SetDlgItemTextA(dialog, IDC_LICENSE_TEXT, text) != FALSE;
            HeapFree(GetProcessHeap(), 0, text);
        }
    }
    releaseFileResource(&bytes, &handle);
    return shown;
}

// A licence that cannot be shown cannot be accepted: the setup program ends.
void refuseUnreadableLicence(HWND dialog) {
    showMessage("error reading license agreement", MB_ICONINFORMATION, 0);
    setupApp->noteFailure(ExitDamaged);
    licenceRefused = true;
    PostQuitMessage(0);
    EndDialog(dialog, IDC_LICENSE_DECLINE);
}
}  // namespace

INT_PTR CALLBACK licenseDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        if (showLicenceText(dialog))
            SetFocus(GetDlgItem(dialog, IDC_LICENSE_TEXT));
        else
            refuseUnreadableLicence(dialog);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_LICENSE_AGREE:
            EndDialog(dialog, IDC_LICENSE_AGREE);
            break;
        case IDC_LICENSE_DECLINE:
        case IDCANCEL:  // Escape and the close box decline as well
            EndDialog(dialog, IDC_LICENSE_DECLINE);
            break;
        default:
            break;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

void showActivateChoices(HWND page) {
    SetupApp* app = setupApp;
    for (const auto& pair : kActivateBoxes) {
        CheckDlgButton(page, pair.box, app->componentActivate[pair.component] ? 1 : 0);
        if (app->componentPresent[pair.component]) {
            ShowWindow(GetDlgItem(page, pair.box), SW_SHOW);
        } else {
            ShowWindow(GetDlgItem(page, pair.box), SW_HIDE);
            app->componentActivate[pair.component] = false;
        }
    }
}

void readActivateChoices(HWND page) {
    SetupApp* app = setupApp;
    for (const auto& pair : kActivateBoxes) {
        if (!app->componentPresent[pair.component]) continue;
        app->componentActivate[pair.component] =
            IsDlgButtonChecked(page, pair.box) == BST_CHECKED;
    }
}

INT_PTR CALLBACK optionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) readActivateChoices(page);
        return TRUE;
    case WM_NOTIFY:
        if (reinterpret_cast<NMHDR*>(lParam)->code == PSN_SETACTIVE) {
            showActivateChoices(page);
            setWizardButtons(page, PSWIZB_BACK | PSWIZB_NEXT);
            return TRUE;
        }
        return answerPageNotice(page, reinterpret_cast<NMHDR*>(lParam)->code, PSN_WIZNEXT);
    default:
        return FALSE;
    }
}

void formatFinishSummary(char* out, size_t capacity, bool activate) {
    memset(out, 0, capacity);
    copyText(out, capacity, "Components to be installed/activated:\r\n\r\n");
    appendToText(out, capacity,
                 activate ? "The Zelto 2000 ScreenSaver will be activated after installation.\r\n"
                          : "The Zelto 2000 ScreenSaver will be installed but not activated.\r\n");
}

INT_PTR CALLBACK finishPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    SetupApp* app = setupApp;
    if (message == WM_INITDIALOG) {
        if (app->boldFont)
            SendDlgItemMessageA(page, IDC_FINISH_TITLE, WM_SETFONT,
                                reinterpret_cast<WPARAM>(app->boldFont), TRUE);
        app->computeSelectedTotals();
        return TRUE;
    }
    if (message != WM_NOTIFY) return FALSE;
    UINT code = reinterpret_cast<NMHDR*>(lParam)->code;
    if (code == PSN_SETACTIVE) {
        char summary[500];
        formatFinishSummary(summary, sizeof summary, app->componentActivate[0]);
        SetDlgItemTextA(page, IDC_FINISH_SUMMARY, summary);
        setWizardButtons(page, PSWIZB_BACK | PSWIZB_FINISH);
        return TRUE;
    }
    return answerPageNotice(page, code, PSN_WIZFINISH);
}
