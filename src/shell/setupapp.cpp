#include "shell/setupapp.h"
#include "common/dynlib.h"
#include "common/errors.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/text.h"
#include "common/textcase.h"
#include "engine/systemsettings.h"
#include "resources/resource.h"
#include <commctrl.h>
#include <new>
#include <string.h>

SetupApp* setupApp = NULL;
WindowObject* mainWindowObject = NULL;
// On at start: the program's entry turns it on (zero-filled memory holds it).
bool reportUndeletable;

static const char kClassName[] = "vimbaInstaller";

namespace {
// The messages' side of the application object, while there is one.
bool hostUnattended() { return setupApp && setupApp->unattended; }
bool hostReport(const char* text) { return setupApp && setupApp->appendInstallReport(text); }
HWND hostOwner() { return setupApp ? setupApp->mainWindow : NULL; }
void hostNote(const char* text) {
    if (setupApp) setupApp->logLine(text);
}
const MessageHost kMessageHost = {hostUnattended, hostReport, hostOwner, hostNote};
}  // namespace

SetupApp* createSetupApp(HINSTANCE module) {
    setMessageHost(&kMessageHost);
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(SetupApp));
    return memory ? new (memory) SetupApp(module) : NULL;
}

void destroySetupApp() {
    if (!setupApp) return;
    if (mainWindowObject == setupApp) mainWindowObject = NULL;
    setupApp->~SetupApp();
    HeapFree(GetProcessHeap(), 0, setupApp);
    setupApp = NULL;
}

SetupApp::SetupApp(HINSTANCE module)
    : WindowObject(module),
      elapsedMs(0),
      selfDeleteOnExit(false),
      uninstallMode(false),
      logoResource(NULL),
      logoBytes(NULL),
      logoPicture(NULL),
      newestFileTime(0),
      installCompressedBytes(0),
      installExpandedBytes(0),
      positionLocked(false),
      boldFont(NULL),
      running(true),
      unattended(false),
      exitStatus(ExitFailed),
      runLog(NULL),
      appIcon(NULL),
      programFile(INVALID_HANDLE_VALUE),
      osKind(0),
      shellMajor(0),
      shellMinor(0),
      progressDialog(NULL),
      progressPercent(0),
      sourceRemote(false),
      bytesInstalled(0),
      logLengthBefore(-2),
      removableCount(0) {
    progressCaption[0] = '\0';
    currentItem[0] = '\0';
    programPath[0] = '\0';
    installerDir[0] = '\0';
    mirrorHost[0] = '\0';
    mirrorPath[0] = '\0';
    mirrorDisplayName[0] = '\0';
    for (int i = 0; i < kComponentCount; ++i) {
        componentPresent[i] = i == 0;
        componentActivate[i] = i == 0;
    }
}

SetupApp::~SetupApp() {
    if (boldFont) {
        DeleteObject(boldFont);
        boldFont = NULL;
    }
    if (appIcon) {
        DestroyIcon(appIcon);
        appIcon = NULL;
    }
    releaseLogo();
    if (programFile != INVALID_HANDLE_VALUE) CloseHandle(programFile);
    if (runLog) CloseHandle(runLog);
    if (running) UnregisterClassA(kClassName, instance);
}

void SetupApp::noteFailure(int code) {
    if (exitStatus == ExitFailed) exitStatus = code;
}

void SetupApp::noteWriteFailure() {
    DWORD error = GetLastError();
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) noteFailure(ExitDiskFull);
}

LONG osKindFromVersion(const OSVERSIONINFOA& info) {
    switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
        return OsWin32s;
    case VER_PLATFORM_WIN32_NT:
        return info.dwMajorVersion < 5 ? OsWindowsNT4 : OsWindows2000;
    case VER_PLATFORM_WIN32_WINDOWS: {
        // Windows 9x keeps the version in the build number's high word as well.
        DWORD minor = info.dwMinorVersion;
        DWORD buildMinor = (info.dwBuildNumber >> 16) & 0xFF;
        if (buildMinor > minor) minor = buildMinor;
        if (info.dwMajorVersion > 4) return OsWindowsMe;
        if (info.dwMajorVersion == 4) {
            if (minor >= 90) return OsWindowsMe;
            if (minor > 0) return OsWindows98;
        }
        return (info.dwBuildNumber & 0xFFFF) > 1080 ? OsWindows95Later : OsWindows95;
    }
    default:  // an unknown platform is taken for the oldest kind
        return OsWindows95;
    }
}

LONG detectOsKind() {
    OSVERSIONINFOA info;
    memset(&info, 0, sizeof info);
    static_assert(sizeof info == 148, "the version record of every Windows is 148 bytes");
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    return osKindFromVersion(info);
}

namespace {
// The shell library's version record: five 32-bit fields.
struct ShellVersionInfo {
    DWORD cbSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformID;
};
static_assert(sizeof(ShellVersionInfo) == 20, "the shell's version record is 20 bytes");
typedef HRESULT(CALLBACK* DllGetVersionProc)(ShellVersionInfo*);
}  // namespace

void readShellVersion(DWORD* major, DWORD* minor) {
    *major = 4;
    *minor = 0;
    HMODULE shell = loadSystemLibrary("shell32.dll");
    if (!shell) return;
    DllGetVersionProc getVersion =
        reinterpret_cast<DllGetVersionProc>(
        reinterpret_cast<void*>(GetProcAddress(shell, "DllGetVersion")));
    if (getVersion) {
        ShellVersionInfo info;
        memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        if (getVersion(&info) >= 0) {
            *major = info.dwMajorVersion;
            *minor = info.dwMinorVersion;
        }
    }
    FreeLibrary(shell);
}

namespace {
// The switches both programs take, each ended by NUL, in the order of SwitchKind.
const char kSwitchNames[] = "/S\0/SILENT\0/VERYSILENT\0/NORESTART\0/SUPPRESSMSGBOXES\0/?\0/HELP\0/LOG\0";
// /NORESTART and /SUPPRESSMSGBOXES change nothing: the program never restarts
// Windows, and /S shows no box already.
enum SwitchKind { SwitchS, SwitchSilent, SwitchVerySilent, SwitchNoRestart, SwitchNoBoxes,
                  SwitchQuestion, SwitchHelp, SwitchLog, SwitchUnknown };
}  // namespace

void readSwitches(const char* commandLine, CommandSwitches* out) {
    memset(out, 0, sizeof *out);
    for (const char* p = commandLine; *p;) {
        while (*p == ' ' || *p == '\t') ++p;
        char word[MAX_PATH + 8];
        size_t length = 0;
        bool quoted = false;
        bool cut = false;
        for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p) {
            if (*p == '"')
                quoted = !quoted;
            else if (length + 1 < sizeof word)
                word[length++] = *p;
            else
                cut = true;
        }
        word[length] = '\0';
        if (word[0] != '/') {
            if (word[0]) {
                out->uninstallWord = !out->otherWord && lstrcmpiA(word, "UNINSTALL") == 0;
                out->otherWord = true;
            }
            continue;
        }
        int kind = 0;
        for (const char* name = kSwitchNames; *name && lstrcmpiA(word, name) != 0;
             name += lstrlenA(name) + 1)
            ++kind;
        if (kind <= SwitchVerySilent) {
            out->unattended = true;
        } else if (kind == SwitchQuestion || kind == SwitchHelp) {
            out->help = true;
        } else if (kind == SwitchLog) {
            out->log = true;
        } else if (kind == SwitchUnknown) {
            if (sameTextNoCase(word, "/LOG=", 5)) {
                out->log = true;
                if (!copyText(out->logName, sizeof out->logName, word + 5) || cut)
                    out->logNameCut = true;
            } else if (!out->refused[0]) {
                copyText(out->refused, sizeof out->refused, word);
            }
        }
    }
}

const char* commandArguments(const char* commandLine) {
    // Compared as unsigned bytes: a signed "\xE9" ("é") would count as a blank.
    const unsigned char* line = reinterpret_cast<const unsigned char*>(commandLine);
    bool quoted = false;
    while (*line > ' ' || (*line && quoted)) {
        if (*line == '"') quoted = !quoted;
        ++line;
    }
    while (*line && *line <= ' ') ++line;
    return reinterpret_cast<const char*>(line);
}

void SetupApp::startUp(const char* commandLine) {
    // First of all: from now on the file cannot be swapped under the program.
    programFile = openModuleFile(instance, programPath);
    CommandSwitches switches;
    readSwitches(commandLine, &switches);
    unattended = switches.unattended;
    running = false;
    if (switches.help) {
        if (!unattended) showHelp();
        exitStatus = ExitSuccess;
        return;
    }
    // A switch that is not taken, or a log that cannot be kept, changes nothing.
    if (switches.log && !openRunLog(switches.logName, switches.logNameCut)) {
        noteFailure(ExitBadSwitch);
        return;
    }
    if (switches.refused[0]) {
        reportErrorById(IDS_UNKNOWN_SWITCH, switches.refused);
        noteFailure(ExitBadSwitch);
        return;
    }
    if (handOverToRunningCopy()) return;
    osKind = detectOsKind();
    // Without the rights to finish, nothing is begun: no half install, and no
    // removal that fails and sets itself to fail again at every logon.
    if (!hasAdministratorRights(this)) {
        reportErrorById(IDS_NEEDS_ADMINISTRATOR, "");
        noteFailure(ExitNoRights);
        return;
    }
    // Only Windows 95 asks the shell's version (the logo needs 4.70 there):
    // elsewhere the shell library is not loaded for it.
    if (osKind <= OsWindows95Later) readShellVersion(&shellMajor, &shellMinor);
    noteInstallerFolder();
    packages[0].setPackageType(PackageZelto);
    int showCode = SW_SHOWMAXIMIZED;
    // The mode follows the file's own name, which the short form would not keep:
    // the code page's name as the system gives it ("?" for what has no place).
    char modeName[MAX_PATH];
    modulePath(instance, modeName);
    if (!chooseMode(modeName, switches.uninstallWord, &showCode) || !createMainWindow(showCode))
        return;
    running = true;
    progressDialog = NULL;
    currentItem[0] = '\0';
    progressCaption[0] = '\0';
}

bool SetupApp::handOverToRunningCopy() {
    // Another installer or uninstaller is running: hand the user over to it. An
    // unattended run has no user to hand over: it ends at once, failed.
    HWND other = FindWindowA(kClassName, NULL);
    if (!other) return false;
    noteFailure(ExitInProgress);
    if (unattended) {
        char text[kTextCapacity];
        loadText(text, IDS_ALREADY_RUNNING);
        appendInstallReport(text);
    } else {
        SetForegroundWindow(other);
    }
    return true;
}

void SetupApp::noteInstallerFolder() {
    if (!folderOfPath(programPath, installerDir)) installerDir[0] = '\0';
}

void SetupApp::showHelp() {
    // Each exit code with its text, in the table's order.
#define ZELTO_EXIT_ENTRY(name, code, id, response, text) {code, id},
    static const WORD kExitTexts[][2] = {ZELTO_EXIT_CODES(ZELTO_EXIT_ENTRY)};
#undef ZELTO_EXIT_ENTRY
    char text[1200];
    loadText(text, IDS_HELP);
    for (const WORD* entry : kExitTexts) {
        char code[16];
        formatText(code, sizeof code, "\n%u  ", entry[0]);
        appendToText(text, sizeof text, code);
        appendText(text, entry[1], sizeof text);
    }
    showMessage(text, MB_ICONINFORMATION, 0);
}

bool SetupApp::chooseMode(const char* programPath, bool confirmed, int* showCode) {
    if (!isUninstallerCopy(programPath)) {
        uninstallMode = false;
        *showCode = SW_SHOWMAXIMIZED;
        return true;
    }
    // Starting the uninstaller with /S is the administrator's answer to the question.
    if (!confirmed && !unattended && !showMessageById(IDS_CONFIRM_UNINSTALL, MB_ICONERROR, MB_YESNO)) {
        noteFailure(ExitCancelled);
        return false;
    }
    uninstallMode = true;
    *showCode = SW_MINIMIZE;
    return true;
}

bool SetupApp::createMainWindow(int showCode) {
    // The wizard and the progress bar class come from the common controls:
    // without them there is nothing to show but why.
    const CommonControlsLibrary* comctl32 = commonControlsLibrary();
    if (!comctl32) {
        showMessageById(IDS_NO_COMMON_CONTROLS, MB_ICONERROR, 0);
        return false;
    }
    mainWindowObject = this;
    comctl32->InitCommonControls();
    appIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PRODUCT));

    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PRODUCT));
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassA(&windowClass)) return false;
    mainWindow = NULL;
    HWND window = CreateWindowExA(0, kClassName, "Zelto 2000 Setup", WS_OVERLAPPEDWINDOW, 0, 0, 0,
                                  0, NULL, NULL, instance, NULL);
    if (!window) return false;
    mainWindow = window;
    // Unattended, the window only carries the control flow's messages.
    ShowWindow(mainWindow, unattended ? SW_HIDE : showCode);
    UpdateWindow(mainWindow);
    return true;
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowObject* object = mainWindowObject;
    if (!object) return DefWindowProcA(window, message, wParam, lParam);
    if (!object->mainWindow) object->mainWindow = window;
    switch (message) {
    case WM_CREATE:
        object->onCreate();
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_COMMAND:
        object->command(wParam, HIWORD(wParam), lParam);
        return DefWindowProcA(window, message, wParam, lParam);
    default:
        return object->windowMessage(message, wParam, lParam);
    }
}
